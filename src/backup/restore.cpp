#include <string>
#include <unordered_set>

#include "backup/backup.h"
#include "backup/backup_folder.h"
#include "backup/cleaning.h"
#include "backup/file_listings.h"
#include "card/card_inspection.h"
#include "card/volume.h"
#include "job/job_io.h"
#include "job/job_values.h"
#include "package/load_info_array.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "verify/verify.h"

namespace cw {

namespace {

constexpr const char* kRestoreFailed = "Restore Failed!! Compact flash is not usable!!";
constexpr const char* kNoBackup = "Restore Not Possible!! No Backup Files!!";

void Report(const std::string& text) {
  SetStatus(text);
  AppendDiagnostics(text);
}

// Ends a restore that puts nothing back and changes nothing on the card.
bool RestoreNotPossible(JobContext& job, const char* text) {
  Report(text);
  Log(text);
  SetPhase(job.restoreState, kPhaseFailed);
  Wait(50);
  return false;
}

}  // namespace

bool RestoreFiles() {
  Log("RestoreFiles");
  const int32_t count = static_cast<int32_t>(backupFileList.size());
  SetProgressRange(0, count);
  StartPhaseAmounts(kProgressRestore, count, SizeOfFiles(backupFileList));
  // A reformatted card, or one whose folder was deleted, gets its whole tree back; a file that
  // cannot be put back is reported and the others still go back.
  std::unordered_set<std::string> foundFolders;
  int32_t restored = 0;
  for (int32_t i = 0; i < count; ++i) {
    SetProgressPos(i);
    const std::string& backupPath = backupFileList[static_cast<size_t>(i)];
    std::string cardPath = backupPath;
    bool copied = false;
    if (MapFolderPath(backupPath, backupRoot, globalFlashPath, &cardPath)) {
      CreateMissingFolders(cardPath, foundFolders);
      copied = Sys().CopyFile(backupPath, cardPath, false);
    } else {
      SetLastError(kErrPathNotFound);  // not below the backup folder: it has no place on the card
    }
    CountFileDone(SizeOfFile(backupPath));
    if (!copied) {
      AppendDiagnostics(Format("\r\nCopy File Error - %d - ", static_cast<int>(GetLastError())) +
                        cardPath + "\r\n");
      continue;
    }
    ++restored;
    SetStatus(Format("%d Files Restored", restored));
  }
  return restored == count;
}

bool AttemptRestore() {
  Log("AttemptRestore");
  JobContext& job = *currentJob;

  if (backupSkipped && job.storeInProgress) return RestoreNotPossible(job, kNoBackup);

  Log("  attempting to restore files from backup.");
  SetPhase(job.restoreState, kPhaseRunning);

  // A backup that never finished holds only part of the card, and the card has not been
  // touched since it began; with no backup files nothing would come back. Either way cleaning
  // would lose the card's files and copying would gain nothing.
  if (BackupMarkedIncomplete(backupRoot)) {
    Log("  the backup is incomplete, the CF is not cleaned and nothing is restored.");
    return RestoreNotPossible(job, kBackupIncompleteText);
  }
  if (backupFileList.empty()) return RestoreNotPossible(job, kNoBackup);

  if (targetType != kTargetEngine) {
    Log("  attempting to clean the CF.");
    // List the card again: the files a failed store wrote are not in the list taken before
    // the job, and left there they would stay on the restored card or fill it up.
    GetCFFilesArray(cardFileList);
    CleanCF(cardFileList);
  }
  Wait(50);

  Log("  attempting to restore files.");
  if (!RestoreFiles()) {
    Report(kRestoreFailed);
    Log(kRestoreFailed);
    SetPhase(job.restoreState, kPhaseFailed);
    Wait(50);
    return false;
  }

  // A blank (reformatted) card tells its kind only once its files are back; its reference
  // is then found where that kind keeps it.
  if (targetType == kTargetUnknown) {
    GetCFFilesArray(cardFileList);
    GetCFInfo();
  }

  // From here on the restored card's own reference counts, not the package.
  job.usePackageFile = 0;
  job.storeInProgress = 0;
  // 3950 support now comes from what the card holds: the reload sets it again when the card
  // carries "FWP_3950.FWP". Kept from the new package, it would send the reload to a stored
  // copy an older card never had, and a card restored intact would be reported unusable.
  has3950Support = 0;

  Log("  attempting to eject the CF card.");
  if (!EjectCompactFlash(globalFlashPath.empty() ? '\0' : globalFlashPath[0])) {
    Report(kRestoreFailed);
    Log(kRestoreFailed);
    SetPhase(job.restoreState, kPhaseFailed);
    return false;
  }

  Log("  attempting to load the info array.");
  if (!LoadInfoArray()) {
    Log("  failed to load info array.");
    Report(kRestoreFailed);
    SetPhase(job.restoreState, kPhaseFailed);
    Wait(50);
    return false;
  }

  SetPhase(job.restoreState, kPhaseDone);
  Wait(50);
  SetPhase(job.restoreVerifyState, kPhaseRunning);
  if (softwareTestMode) {
    ShowMessage(
        "A bad file store has caused a restore.\r\nSuggestion: Mess with the files on the CF",
        MessageButtons::Ok, MessageIcon::None);
  }

  if (Verify() == kVerifyPassed) {
    Report("Restore OK!!");
    SetPhase(job.restoreVerifyState, kPhaseDone);
    Wait(50);
    return true;
  }
  Report(kRestoreFailed);
  SetPhase(job.restoreVerifyState, kPhaseFailed);
  Wait(50);
  return false;
}

}  // namespace cw
