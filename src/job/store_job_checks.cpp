// "Store and Verify", stages 1 to 10: take over the request, check the drive and the card,
// inspect the card, take the restore-only shortcut or match the package to the device, load
// the package's file table, and ask the user. Nothing on the card changes here.

#include <string>

#include "backup/backup.h"
#include "backup/backup_folder.h"
#include "backup/backup_history.h"
#include "backup/backup_manifest.h"
#include "backup/backup_lock.h"
#include "backup/file_listings.h"
#include "card/card_inspection.h"
#include "card/volume.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/card_check.h"
#include "job/job_stop.h"
#include "job/job_result.h"
#include "job/jobs.h"
#include "job/store_job.h"
#include "job/store_path_check.h"
#include "job/load_info_array.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

namespace {

constexpr const char* kBenchSwitch = "BENCH_MODE_ON";

// The common failure exit of stages 1 to 10: the message, then the transcript.
int FailWith(JobState& state, const std::string& message) {
  JobContext& job = state.job;
  state.ShowAndRecord(message, MessageIcon::Warning);
  return EndJob(job, 0);
}

void TakeOverRequest(JobState& state, const StoreRequest& request) {
  state.Log("DownloadAndVerify - START");
  state.storeStage = 0;
  state.backupComplete = false;
  state.cardChanged = false;
  state.restoreRan = false;
  state.restoreOutcome.reset();
  state.stopOutcome = kNotStopped;
  state.storeStep = JobState::StoreStep::kChecks;
  state.storeStepFailed = false;
  state.attributesCleared.clear();
  EnterStage(state, 1);
  state.backupSkipped = request.backup.skip ? 1 : 0;

  state.globalFlashPath = ToUpperAscii(request.cardPath);
  state.LogF("  globalFlashPath is %s", state.globalFlashPath.c_str());
  if (Contains(state.globalFlashPath, kBenchSwitch)) {
    state.softwareTestMode = 1;
    state.globalFlashPath = ReplaceAll(state.globalFlashPath, kBenchSwitch, "");
    state.globalFlashPath = ReplaceAll(state.globalFlashPath, " ", "");
  } else {
    state.softwareTestMode = 0;
  }
  state.globalFWPDataFilePath = request.packagePath;
  state.LogF("  globalFWPDataFilePath is %s",
             state.platform.DisplayPath(state.globalFWPDataFilePath).c_str());
  state.targetType = kTargetUnknown;
  EnterStage(state, 2);
  state.filesStored = 0;
}

// Stage 2. nullopt when the drive is a removable card that opens.
std::optional<int> CheckDrive(JobState& state) {
  const CardDrive drive = CheckCardDrive(state.platform, state.globalFlashPath);
  if (drive == CardDrive::kNotRemovable) {
    state.Log("  global flash path is not valid.");
    return FailWith(state,
                    "Invalid drive type selected.\r\nPlease select a compact flash drive.\r\n");
  }
  state.Log("  attempting to access the flash device.");
  if (drive == CardDrive::kDoesNotOpen) {
    state.Log("  could not access the flash device - privs?");
    return FailWith(state,
                    "The selected drive is not opening.\r\nDo you have sufficient privileges?\r\n");
  }
  return std::nullopt;
}

// Stage 7: the backup folder of this kind of card belongs to another job (another window or
// another command line) until that job ends. Waiting would leave the user guessing, and going
// on would empty or restore a backup that is not this card's: the job ends untouched.
int RefuseBusyBackup(JobState& state, const BackupFolderLock& backupLock) {
  state.LogF("  the backup folder %s is in use by another job.",
             state.platform.DisplayPath(backupLock.folder()).c_str());
  return FailWith(state,
                  "Another job is using the backup folder.\r\n"
                  "Wait for it to finish, then try again.\r\n");
}

// Stage 8, once the card's kind is final: the backup folder of that kind, held until the job
// ends, and its files.
std::optional<int> TakeBackupFolder(JobState& state, const StoreRequest& request,
                                    BackupFolderLock& backupLock) {
  const std::string root =
      BackupRootForTarget(state, request.dataPath, request.target == TargetChoice::kPanel);
  if (!backupLock.TryTake(state.platform, root)) return RefuseBusyBackup(state, backupLock);
  GetBackupFilesArray(state, root, state.backupFileList);
  state.backupFileCount = static_cast<int32_t>(state.backupFileList.size());
  return std::nullopt;
}

// "Restore Only": the latest backup of the card's kind, or one of the history's by name. A
// backup taken from another card (both serial numbers known, and different) is put back only
// when the user says so: its files are not this card's, unless this card was reformatted.
std::optional<int> ChooseBackupToRestore(JobState& state, const CardFacts& card,
                                         const BackupChoice& choice) {
  const std::string& name = choice.restoreName;
  if (!name.empty() && !ToUpperAscii(state.backupRoot).ends_with("\\" + ToUpperAscii(name))) {
    const std::string folder = HistoryFolderOf(state.backupRoot) + "\\" + name;
    if (name == "." || name == ".." || name.find_first_of("\\/:*?") != std::string::npos ||
        !IsFolder(state.platform, folder)) {
      state.LogF("  there is no backup named %s.", name.c_str());
      return FailWith(state, "Restore Not Possible!! There is no backup named " + name +
                                 " of this kind of card.\r\nThe card is unchanged.\r\n");
    }
    state.backupRoot = folder;
    GetFilesBelow(state, folder, state.backupFileList);
    state.backupFileCount = static_cast<int32_t>(state.backupFileList.size());
  }
  BackupManifest manifest;
  // The card as the job took it at stage 3: every later step holds the card to it.
  const uint32_t cardSerial = card.identity.serial;
  if (choice.otherCard == OtherCardBackup::kAllow ||
      ReadManifest(state.platform, state.backupRoot, &manifest) != ManifestState::kRead ||
      manifest.cardSerial == 0 || cardSerial == 0 || manifest.cardSerial == cardSerial) {
    return std::nullopt;
  }
  state.LogF("  the backup %s was taken from the card %s.",
             state.platform.DisplayPath(state.backupRoot).c_str(),
             SerialText(manifest.cardSerial).c_str());
  const std::string which = "The backup was taken from another card (serial " +
                            SerialText(manifest.cardSerial) + ", this card " +
                            SerialText(cardSerial) + ").\r\n";
  if (choice.otherCard == OtherCardBackup::kAsk) {
    const MessageResult answer =
        state.ShowMessage(which + "Put its files on this card anyway?\r\n",
                          MessageButtons::OkCancel, MessageIcon::Warning);
    state.StopIfRequested();
    if (answer == MessageResult::Ok) return std::nullopt;
  }
  return FailWith(state, "Restore Not Possible!! " + which +
                             "Use --other-card to put it on this card anyway.\r\n"
                             "The card is unchanged.\r\n");
}

// Stage 8 without "Restore Only": the package's kind of files must suit the card.
std::optional<int> ApplyTargetRules(JobState& state, TargetChoice target) {
  JobContext& job = state.job;
  if (state.targetType == kTargetUnknown) {
    if (target == TargetChoice::kPanel) {
      state.Log("  unknown target for panel source.");
      state.targetType = job.prompt ? job.prompt->ChooseModel(state.targetType) : state.targetType;
      state.StopIfRequested();
      if (state.targetType == kTargetUnknown)
        return FailWith(state, "Please specify a panel version before continuing.\r\n");
    } else if (target == TargetChoice::kEngine) {
      state.targetType = kTargetEngine;
    } else {
      state.ShowAndRecord(
          "Compact Flash type could not be determined.\r\nUse Advanced Settings to set type.\r\n",
          MessageIcon::Warning);
      return EndJob(job, 0);
    }
  } else if (state.targetType == kTargetEngine) {
    if (target == TargetChoice::kPanel) {
      return FailWith(state,
                      "Placing panel files on the engine compact flash is not permitted.\r\n"
                      "Download terminated. \r\n");
    }
  } else if (state.IsPanel() && target == TargetChoice::kEngine) {
    state.Log("  target is panel, but user requests engine files, reject.");
    return FailWith(state,
                    "Placing engine files on the panel compact flash is not permitted.\r\n"
                    "Download terminated. \r\n");
  }
  return std::nullopt;
}

// Stage 10 after the confirmation: a panel card must hold the package and keep its protected
// files, and an OS image must come from somewhere.
std::optional<int> CheckPanelRoom(JobState& state, const CardFacts& card,
                                  const LoadedPackage& package) {
  const uint64_t needed = package.packageBytes + card.keptBytes + 1000;
  if (card.cardTotalBytes < needed) {
    state.Log("  programming fail.  Not enough room on panel flash.");
    return FailWith(state,
                    "There is insufficient space on this compact flash to complete the "
                    "download.\r\nYou can correct this by deleting files in the Public folder");
  }
  if (!package.osInPackage && !card.osOnCard) {
    state.Log("  no OS on flash or FWP.");
    return FailWith(state,
                    "WinCE OS was neither found on the compact flash nor in the FWP file.\r\n"
                    "Please choose a FWP file that contains the WinCE OS.\r\n");
  }
  state.SetPhase(JobPhase::kPreparation, kPhaseDone);
  state.storeStep = JobState::StoreStep::kWriting;
  return std::nullopt;
}

}  // namespace

std::optional<int> CheckAndPrepareStore(JobState& state, const StoreRequest& request,
                                        BackupFolderLock& backupLock, CardFacts& card,
                                        LoadedPackage& package) {
  JobContext& job = state.job;
  TakeOverRequest(state, request);
  if (std::optional<int> end = CheckDrive(state)) return end;

  EnterStage(state, 3);
  state.Log("  basic flash test.");
  if (!BasicFlashCheck(state.platform, state, state.globalFlashPath, card)) return EndJob(job, 0);
  TakeFirstCardIdentity(state, card);

  EnterStage(state, 4);
  GetCFFilesArray(state, state.cardFileList);
  EnterStage(state, 5);
  // An empty card has nothing worth keeping: no backup in this job, while the user's "Create
  // Backup" stays as it was for the next card.
  if (state.cardFileList.empty()) state.backupSkipped = 1;
  card = InspectCard(state, std::move(card), request.target);
  // The upgrade record describes the package as the load reads it (stage 9); "Restore Only"
  // stores no package and records none.
  EnterStage(state, 6);
  EnterStage(state, 7);

  EnterStage(state, 8);
  if (request.backup.restoreOnly) {
    state.Log("  restoring files.");
    if (std::optional<int> end = TakeBackupFolder(state, request, backupLock)) return end;
    if (std::optional<int> end = ChooseBackupToRestore(state, card, request.backup)) return end;
    // A half-made backup is never taken for the whole card: refused before anything changes.
    if (BackupMarkedIncomplete(state.platform, state.backupRoot)) {
      state.Log("  the backup folder is marked incomplete.");
      return FailWith(state, std::string(kBackupIncompleteText) + "\r\nThe card is unchanged.\r\n");
    }
    GetUpgradeInfo(state, card.targetType, package.versions, request.packagePath);
    state.SetPhase(JobPhase::kPreparation, kPhaseDone);
    state.storeStep = JobState::StoreStep::kWriting;
    job.cardMayHaveChanged = 1;
    RunRestore(state, request, card, package);
    return EndJob(job, 1);
  }
  if (std::optional<int> end = ApplyTargetRules(state, request.target)) return end;
  // Only now is the card's kind final, and with it the backup folder that is its own.
  if (std::optional<int> end = TakeBackupFolder(state, request, backupLock)) return end;
  state.Log("  target/source okay, loading info array.");

  EnterStage(state, 9);
  if (!LoadInfoArray(state, package, Reference::kStoring, state.globalFWPDataFilePath))
    return EndJob(job, 0);
  GetUpgradeInfo(state, card.targetType, package.versions, request.packagePath);

  EnterStage(state, 10);
  if (std::optional<int> end = RefuseTooLongStorePaths(state, package.fileTable))
    return end;
  if (state.softwareTestMode) {
    state.ShowMessage(
        "File information has been gathered from FWP file.\r\n"
        "Suggestion: Go into FWP file and mess it up",
        MessageButtons::Ok, MessageIcon::None);
  }
  const MessageResult answer = state.ShowMessage(
      "All files will be replaced with new ones.\r\n\r\n"
      "If you do not want files replaced click Cancel.\r\n",
      MessageButtons::OkCancel, MessageIcon::None);
  // A stop asked while the question was open is a stop, not an answer.
  state.StopIfRequested();
  if (answer != MessageResult::Ok) return EndJob(job, 0);
  if (state.IsPanel()) return CheckPanelRoom(state, card, package);
  return std::nullopt;
}

CardFacts InspectCard(JobState& state, CardFacts card, TargetChoice target) {
  card.targetType = state.targetType;
  CardFacts found = GetCFInfo(state.platform, state, state.cardFileList,
                              target == TargetChoice::kPanel, std::move(card));
  state.targetType = found.targetType;
  return found;
}

void EnterStage(JobState& state, int32_t stage) {
  if (stage <= 16) state.StopIfRequested();
  state.LogF("  Stage %d...", stage);
  state.storeStage = stage;
  if (stage >= 11) {
    state.cardChanged = true;
    state.job.cardMayHaveChanged = 1;
  }
}

// The job's own record, kept by the steps that change the card: the cleaning after a Panel
// card's complete backup, and stage 11.
bool CardChanged(JobState& state) { return state.cardChanged; }

JobResult DownloadAndVerify(Platform& platform, JobContext* job, const StoreRequest& request) {
  JobState state(platform, *job);
  return DownloadAndVerifyJob(state, request);
}

JobResult DownloadAndVerifyJob(JobState& state, const StoreRequest& request,
                               JobFindings* findings) {
  // What the card inspection finds and what the load makes of the package, kept by the job for
  // the stages after and for a restore, whichever way the job ends.
  JobFindings own;
  JobFindings& found = findings != nullptr ? *findings : own;
  found = JobFindings{};
  state.fileChecks.clear();
  state.BeginPhases(JobPhase::kPreparation);
  const int exitCode = RunWorker(state, [&state, &request, &found]() -> int {
    // Held from stage 7 until the job ends, whichever way it ends, so that a restore after a
    // stop or an error still holds it; the operating system drops it if the process dies.
    BackupFolderLock backupLock;
    CardFacts& card = found.card;
    LoadedPackage& package = found.package;
    // Another card in the slot ends the job wherever it is met, a stop's or an error's restore
    // included.
    try {
      try {
        if (std::optional<int> end =
                CheckAndPrepareStore(state, request, backupLock, card, package))
          return *end;
        if (std::optional<int> end = BackupAndProgram(state, request, card, package))
          return *end;
        return VerifyAndFinish(state, request, card, package);
      } catch (const JobStopped&) {
        return EndStoppedStore(state, request, card, package, state.storeStage,
                               CardChanged(state));
      } catch (const std::exception& error) {
        return EndFailedStore(state, request, card, package, state.storeStage,
                              CardChanged(state), DescribeError(error));
      }
    } catch (const CardReplaced& replaced) {
      return EndReplacedCard(state, replaced);
    }
  });
  JobResult result = StoreJobResult(state, request, exitCode);
  result.card = found.card.identity;
  result.targetType = state.targetType;
  if (!request.backup.restoreOnly) result.packagePath = request.packagePath;
  return result;
}

}  // namespace cw
