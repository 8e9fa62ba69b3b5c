// "Store and Verify", stages 1 to 10: take over the request, check the drive and the card,
// inspect the card, take the restore-only shortcut or match the package to the device, load
// the package's file table, and ask the user. Nothing on the card changes here.

#include <string>

#include "backup/backup.h"
#include "backup/backup_folder.h"
#include "backup/backup_lock.h"
#include "backup/file_listings.h"
#include "card/card_inspection.h"
#include "card/volume.h"
#include "job/job_io.h"
#include "job/job_values.h"
#include "job/job_stop.h"
#include "job/jobs.h"
#include "job/store_job.h"
#include "package/load_info_array.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

namespace {

constexpr const char* kBenchSwitch = "BENCH_MODE_ON";

// The common failure exit of stages 1 to 10: the message, then the transcript.
int FailWith(JobContext& job, const std::string& message) {
  ShowAndRecord(message, MessageIcon::Warning);
  return EndJob(job, 0);
}

bool IsPanel() { return targetType == kTargetPanel3940 || targetType == kTargetPanel3950; }

void TakeOverRequest(JobContext& job) {
  Log("DownloadAndVerify - START");
  storeStage = 0;
  backupErases = false;
  EnterStage(1);
  keptBytes = 0;
  cardTotalBytes = 0;
  packageBytes = 0;
  osOnCard = 0;
  backupSkipped = job.skipBackup ? 1 : 0;

  globalFlashPath = ToUpperAscii(job.flashPath);
  LogF("  globalFlashPath is %s", globalFlashPath.c_str());
  if (Contains(globalFlashPath, kBenchSwitch)) {
    softwareTestMode = 1;
    globalFlashPath = ReplaceAll(globalFlashPath, kBenchSwitch, "");
    globalFlashPath = ReplaceAll(globalFlashPath, " ", "");
  } else {
    softwareTestMode = 0;
  }
  globalFWPDataFilePath = job.fwpPath;
  LogF("  globalFWPDataFilePath is %s", globalFWPDataFilePath.c_str());
  has3950Support = 0;
  targetType = kTargetUnknown;
  EnterStage(2);
  filesStored = 0;
}

// Stage 2. nullopt when the drive is a removable card that opens.
std::optional<int> CheckDrive(JobContext& job) {
  // The letter test also refuses any path that merely contains a C.
  if (Sys().GetDriveType(globalFlashPath) != DriveType::Removable ||
      Contains(globalFlashPath, "C")) {
    Log("  global flash path is not valid.");
    return FailWith(job, "Invalid drive type selected.\r\nPlease select a compact flash drive.\r\n");
  }
  Log("  attempting to access the flash device.");
  VolumeHandle probe = OpenVolume(globalFlashPath[0]);
  if (!probe) {
    Log("  could not access the flash device - privs?");
    return FailWith(job,
                    "The selected drive is not opening.\r\nDo you have sufficient privileges?\r\n");
  }
  CloseVolume(std::move(probe));
  return std::nullopt;
}

// Stage 7: the backup folder of this kind of card belongs to another job (another window or
// another command line) until that job ends. Waiting would leave the user guessing, and going
// on would empty or restore a backup that is not this card's: the job ends untouched.
int RefuseBusyBackup(JobContext& job, const BackupFolderLock& backupLock) {
  LogF("  the backup folder %s is in use by another job.", backupLock.folder().c_str());
  return FailWith(job,
                  "Another job is using the backup folder.\r\n"
                  "Wait for it to finish, then try again.\r\n");
}

// Stage 8 without "Restore Only": the package's kind of files must suit the card.
std::optional<int> ApplyTargetRules(JobContext& job) {
  if (targetType == kTargetUnknown) {
    if (job.panelSelected) {
      Log("  unknown target for panel source.");
      targetType = job.prompt ? job.prompt->ChooseModel(targetType) : targetType;
      StopIfRequested();
      if (targetType == kTargetUnknown)
        return FailWith(job, "Please specify a panel version before continuing.\r\n");
    } else if (job.engineSelected) {
      targetType = kTargetEngine;
    } else {
      ShowAndRecord(
          "Compact Flash type could not be determined.\r\nUse Advanced Settings to set type.\r\n",
          MessageIcon::Warning);
      Wait(kPhaseWaitMs);
      return EndJob(job, 0);
    }
  } else if (targetType == kTargetEngine) {
    if (job.panelSelected) {
      return FailWith(job,
                      "Placing panel files on the engine compact flash is not permitted.\r\n"
                      "Download terminated. \r\n");
    }
  } else if (IsPanel() && job.engineSelected) {
    Log("  target is panel, but user requests engine files, reject.");
    return FailWith(job,
                    "Placing engine files on the panel compact flash is not permitted.\r\n"
                    "Download terminated. \r\n");
  }
  return std::nullopt;
}

// Stage 10 after the confirmation: a panel card must hold the package and keep its protected
// files, and an OS image must come from somewhere.
std::optional<int> CheckPanelRoom(JobContext& job) {
  const uint64_t needed = packageBytes + keptBytes + 1000;
  if (cardTotalBytes < needed) {
    Log("  programming fail.  Not enough room on panel flash.");
    return FailWith(job,
                    "There is insufficient space on this compact flash to complete the "
                    "download.\r\nYou can correct this by deleting files in the Public folder");
  }
  if (!osInPackage && !osOnCard) {
    Log("  no OS on flash or FWP.");
    return FailWith(job,
                    "WinCE OS was neither found on the compact flash nor in the FWP file.\r\n"
                    "Please choose a FWP file that contains the WinCE OS.\r\n");
  }
  SetPhase(job.prepState, kPhaseDone);
  return std::nullopt;
}

}  // namespace

std::optional<int> CheckAndPrepareStore(JobContext& job, BackupFolderLock& backupLock) {
  TakeOverRequest(job);
  if (std::optional<int> end = CheckDrive(job)) return end;

  EnterStage(3);
  Log("  basic flash test.");
  if (!BasicFlashCheck()) return EndJob(job, 0);

  EnterStage(4);
  GetCFFilesArray(cardFileList);
  EnterStage(5);
  // An empty card has nothing worth keeping: no backup in this job, while the user's "Create
  // Backup" stays as it was for the next card.
  if (cardFileList.empty()) backupSkipped = 1;
  GetCFInfo();
  EnterStage(6);
  GetUpgradeInfo();
  EnterStage(7);
  if (!backupLock.TryTake(BackupRootForTarget())) return RefuseBusyBackup(job, backupLock);
  GetBackupFilesArray(backupFileList);

  EnterStage(8);
  if (job.restoreOnly) {
    Log("  restoring files.");
    // A half-made backup is never taken for the whole card: refused before anything changes.
    if (BackupMarkedIncomplete(backupRoot)) {
      Log("  the backup folder is marked incomplete.");
      return FailWith(job, std::string(kBackupIncompleteText) + "\r\nThe card is unchanged.\r\n");
    }
    SetPhase(job.prepState, kPhaseDone);
    job.cardMayHaveChanged = 1;
    RunRestore(job);
    Wait(kEndWaitMs);
    return EndJob(job, 1);
  }
  if (std::optional<int> end = ApplyTargetRules(job)) return end;
  Log("  target/source okay, loading info array.");

  EnterStage(9);
  if (!LoadInfoArray()) return EndJob(job, 0);

  EnterStage(10);
  if (softwareTestMode) {
    ShowMessage(
        "File information has been gathered from FWP file.\r\n"
        "Suggestion: Go into FWP file and mess it up",
        MessageButtons::Ok, MessageIcon::None);
  }
  const MessageResult answer = ShowMessage(
      "All files will be replaced with new ones.\r\n\r\n"
      "If you do not want files replaced click Cancel.\r\n",
      MessageButtons::OkCancel, MessageIcon::None);
  // A stop asked while the question was open is a stop, not an answer.
  StopIfRequested();
  if (answer != MessageResult::Ok) {
    job.storeInProgress = 0;
    return EndJob(job, 0);
  }
  if (IsPanel()) return CheckPanelRoom(job);
  return std::nullopt;
}

void EnterStage(int32_t stage) {
  if (stage <= 16) StopIfRequested();
  LogF("  Stage %d...", stage);
  storeStage = stage;
  if (stage >= 11 && currentJob != nullptr) currentJob->cardMayHaveChanged = 1;
}

// A panel card is cleaned as soon as its backup is whole (the folder's incomplete mark gone).
bool CardChanged() {
  return storeStage >= 11 || (backupErases && !BackupMarkedIncomplete(backupRoot));
}

int DownloadAndVerify(JobContext* job) {
  return RunWorker(*job, [job]() -> int {
    // Held from stage 7 until the job ends, whichever way it ends, so that a restore after a
    // stop or an error still holds it; the system drops it if the process dies.
    BackupFolderLock backupLock;
    try {
      if (std::optional<int> end = CheckAndPrepareStore(*job, backupLock)) return *end;
      if (std::optional<int> end = BackupAndProgram(*job)) return *end;
      return VerifyAndFinish(*job);
    } catch (const JobStopped&) {
      return EndStoppedStore(*job, storeStage, CardChanged());
    } catch (const std::exception& error) {
      return EndFailedStore(*job, storeStage, CardChanged(), DescribeError(error));
    }
  });
}

}  // namespace cw
