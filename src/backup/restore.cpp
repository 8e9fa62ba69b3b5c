#include <string>

#include "backup/backup.h"
#include "backup/cleaning.h"
#include "backup/file_listings.h"
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

void Report(const std::string& text) {
  SetStatus(text);
  AppendDiagnostics(text);
}

}  // namespace

bool RestoreFiles() {
  Log("RestoreFiles");
  const int32_t count = static_cast<int32_t>(backupFileList.size());
  SetProgressRange(0, count);
  for (int32_t i = 0; i < count; ++i) {
    SetProgressPos(i);
    const std::string& backupPath = backupFileList[static_cast<size_t>(i)];
    const std::string cardPath = ReplaceAll(backupPath, backupRoot, globalFlashPath);
    if (!Sys().CopyFile(backupPath, cardPath, false)) {
      AppendDiagnostics(Format("\r\nCopy File Error - %d - ", static_cast<int>(GetLastError())) +
                        cardPath + "\r\n");
      return false;
    }
    SetStatus(Format("%d Files Restored", i + 1));
  }
  return true;
}

bool AttemptRestore() {
  Log("AttemptRestore");
  JobContext& job = *currentJob;

  if (job.skipBackup && job.storeInProgress) {
    const std::string text = "Restore Not Possible!! No Backup Files!!";
    SetStatus(text);
    Log(text);
    AppendDiagnostics(text);
    SetPhase(job.restoreState, kPhaseFailed);
    Wait(50);
    return false;
  }

  Log("  attempting to restore files from backup.");
  SetPhase(job.restoreState, kPhaseRunning);

  // Cleaning makes room for the backup's copies only. After a failed backup the card is still
  // whole while the backup is not, and with no backup files nothing would come back: in both
  // cases deleting would lose the card's files.
  const bool haveWholeBackup = !backupIncomplete && !backupFileList.empty();
  if (targetType != kTargetEngine) {
    if (haveWholeBackup) {
      Log("  attempting to clean the CF.");
      // List the card again: the files a failed store wrote are not in the list taken before
      // the job, and left there they would stay on the restored card or fill it up.
      GetCFFilesArray(cardFileList);
      CleanCF(cardFileList);
    } else {
      Log("  no complete backup, the CF is not cleaned.");
    }
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
