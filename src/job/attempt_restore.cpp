// The restore after a failed or stopped store, and "Restore Only": the backup put back, the
// card ejected, its own reference loaded and the card verified again.

#include "job/attempt_restore.h"

#include <string>
#include <vector>

#include "backup/backup.h"
#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/cleaning.h"
#include "backup/file_listings.h"
#include "card/card_inspection.h"
#include "card/volume.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/card_check.h"
#include "job/jobs.h"
#include "job/load_info_array.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "verify/verify.h"

namespace cw {

namespace {

constexpr const char* kRestoreFailed = "Restore Failed!! Compact flash is not usable!!";
constexpr const char* kNoBackup = "Restore Not Possible!! No Backup Files!!";
constexpr const char* kManifestDamaged =
    "Restore Not Possible!! The backup's manifest is damaged. The card is unchanged.";

void Report(JobState& state, const std::string& text) {
  state.SetStatus(text);
  state.AppendDiagnostics(text);
}

// Ends a restore that puts nothing back and changes nothing on the card.
bool RestoreNotPossible(JobState& state, const char* text) {
  Report(state, text);
  state.Log(text);
  state.SetPhase(JobPhase::kRestore, kPhaseFailed);
  return false;
}

}  // namespace

bool AttemptRestore(JobState& state, const StoreRequest& request, CardFacts& card,
                    LoadedPackage& package) {
  state.Log("AttemptRestore");
  const bool restoreOnly = request.backup.restoreOnly;

  if (state.backupSkipped && !restoreOnly) return RestoreNotPossible(state, kNoBackup);

  state.Log("  attempting to restore files from backup.");
  state.SetPhase(JobPhase::kRestore, kPhaseRunning);

  // A backup that never finished holds only part of the card. Cleaning would lose the card's
  // files and copying would gain nothing.
  if (!state.backupComplete && BackupMarkedIncomplete(state.platform, state.backupRoot)) {
    state.Log("  the backup is incomplete, the CF is not cleaned and nothing is restored.");
    return RestoreNotPossible(state, kBackupIncompleteText);
  }
  // A store puts back only the backup it completed itself before the card changed; "Restore
  // Only" takes the one chosen on the disk.
  if (!restoreOnly && !state.backupComplete) return RestoreNotPossible(state, kNoBackup);
  // The manifest proves the backup; one made before manifests existed restores as it is.
  BackupManifest manifest;
  const ManifestState manifestState = ReadManifest(state.platform, state.backupRoot, &manifest);
  if (manifestState == ManifestState::kDamaged) {
    state.Log("  the backup's manifest is damaged.");
    return RestoreNotPossible(state, kManifestDamaged);
  }
  const bool proven = manifestState == ManifestState::kRead;
  std::vector<std::string> damaged;
  if (proven) {
    damaged = BackupCopiesNotMatching(state, manifest);
    if (restoreOnly && !damaged.empty()) {
      const std::string text = "Restore Not Possible!! The backup of " + damaged.front() +
                               " does not match its manifest. The card is unchanged.";
      return RestoreNotPossible(state, text.c_str());
    }
    UseManifestFiles(state, manifest);
  }
  if (state.backupFileList.empty()) return RestoreNotPossible(state, kNoBackup);
  // A backup goes back only onto the card it belongs to.
  ConfirmSameCard(state, card,
                  restoreOnly ? FirstCardLeft::kUnchanged : FirstCardLeft::kNotRestored);

  if (state.targetType != kTargetEngine) {
    state.Log("  attempting to clean the CF.");
    // List the card again: the files a failed store wrote are not in the list taken before
    // the job, and left there they would stay on the restored card or fill it up.
    GetCFFilesArray(state, state.cardFileList);
    CleanCF(state, state.cardFileList, package.KeepsWholeCard(state.targetType));
  }

  state.Log("  attempting to restore files.");
  const bool allBack = RestoreFiles(state, damaged);
  // What the failed store wrote beside the old files goes too, so the card is the old one and
  // its own reference verifies: in the job that wrote them every file the manifest does not
  // list (it lists every file the card held when this job began); in "Restore Only", whose
  // card may have gained files since, only package copies the backup does not hold.
  if (proven) RemoveFilesNotIn(state, manifest, restoreOnly);
  if (!allBack) {
    Report(state, kRestoreFailed);
    state.Log(kRestoreFailed);
    state.SetPhase(JobPhase::kRestore, kPhaseFailed);
    return false;
  }

  // A blank (reformatted) card tells its kind only once its files are back; its reference
  // is then found where that kind keeps it.
  if (state.targetType == kTargetUnknown) {
    GetCFFilesArray(state, state.cardFileList);
    InspectCard(state, card, request.target);
  }

  // From here on the restored card's own reference counts, not the package.
  // 3950 support now comes from what the card holds: the reload sets it again when the card
  // carries "FWP_3950.FWP". Kept from the new package, it would send the reload to a stored
  // copy an older card never had, and a card restored intact would be reported unusable.
  package.has3950Support = 0;

  state.Log("  attempting to eject the CF card.");
  if (!EjectAndConfirm(state, card, FirstCardLeft::kRestoredNotVerified)) {
    Report(state, kRestoreFailed);
    state.Log(kRestoreFailed);
    state.SetPhase(JobPhase::kRestore, kPhaseFailed);
    return false;
  }

  // Every restored file read back from the card itself, against what the manifest says it was.
  if (proven && !CardMatchesManifest(state, manifest)) {
    Report(state, kRestoreFailed);
    state.Log(kRestoreFailed);
    state.SetPhase(JobPhase::kRestore, kPhaseFailed);
    return false;
  }

  state.Log("  attempting to load the info array.");
  if (!LoadInfoArray(state, package, Reference::kCard, request.packagePath)) {
    state.Log("  failed to load info array.");
    Report(state, kRestoreFailed);
    state.SetPhase(JobPhase::kRestore, kPhaseFailed);
    return false;
  }

  state.SetPhase(JobPhase::kRestore, kPhaseDone);
  state.SetPhase(JobPhase::kRestoreVerify, kPhaseRunning);
  if (state.softwareTestMode) {
    state.ShowMessage(
        "A bad file store has caused a restore.\r\nSuggestion: Mess with the files on the CF",
        MessageButtons::Ok, MessageIcon::None);
  }

  if (Verify(state, card, package, Reference::kCard) == kVerifyPassed) {
    Report(state, "Restore OK!!");
    state.SetPhase(JobPhase::kRestoreVerify, kPhaseDone);
    return true;
  }
  Report(state, kRestoreFailed);
  state.SetPhase(JobPhase::kRestoreVerify, kPhaseFailed);
  return false;
}

}  // namespace cw
