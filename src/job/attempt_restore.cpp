// The restore after a failed or stopped store, and "Restore Only": the backup put back (by
// backup/), then the card ejected, its own reference loaded and the card verified again.

#include "job/attempt_restore.h"

#include <string>
#include <vector>

#include "backup/backup.h"
#include "backup/file_listings.h"
#include "card/card_inspection.h"
#include "card/volume.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/card_check.h"
#include "job/job_result.h"
#include "job/jobs.h"
#include "job/load_info_array.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "verify/verify.h"

namespace cw {

namespace {

// The restore's steps; `verifying` is set once the put-back has ended and the restored card's
// verification begins.
RestoreOutcome PutBackAndVerify(JobState& state, const StoreRequest& request, CardFacts& card,
                                LoadedPackage& package, bool& verifying) {
  const bool restoreOnly = request.backup.restoreOnly;
  const PutBackResult putBack =
      PutBackupBack(state, restoreOnly, package.KeepsWholeCard(state.targetType), [&] {
        ConfirmSameCard(state, card,
                        restoreOnly ? FirstCardLeft::kUnchanged : FirstCardLeft::kNotRestored);
      });
  if (putBack.outcome == PutBack::kNotPossible) return RestoreOutcome::kNotPossible;
  if (putBack.outcome == PutBack::kFailed) return RestoreOutcome::kFailed;

  // A blank (reformatted) card tells its kind only once its files are back; its reference
  // is then found where that kind keeps it.
  if (state.targetType == kTargetUnknown) {
    GetCFFilesArray(state, state.cardFileList);
    card = InspectCard(state, std::move(card), request.target);
  }

  // From here on the restored card's own reference counts, not the package.
  // 3950 support now comes from what the card holds: the reload sets it again when the card
  // carries "FWP_3950.FWP". Kept from the new package, it would send the reload to a stored
  // copy an older card never had, and a card restored intact would be reported unusable.
  package.has3950Support = 0;

  state.Log("  attempting to eject the CF card.");
  if (!EjectAndConfirm(state, card, FirstCardLeft::kRestoredNotVerified)) {
    EndRestoreWith(state, kRestoreFailedText);
    return RestoreOutcome::kFailed;
  }

  // Every restored file read back from the card itself, against what the manifest says it was.
  if (putBack.manifest && !CardMatchesManifest(state, *putBack.manifest)) {
    EndRestoreWith(state, kRestoreFailedText);
    return RestoreOutcome::kFailed;
  }

  state.Log("  attempting to load the info array.");
  if (!LoadInfoArray(state, package, Reference::kCard, request.packagePath)) {
    state.Log("  failed to load info array.");
    state.SetStatus(kRestoreFailedText);
    state.AppendDiagnostics(kRestoreFailedText);
    state.SetPhase(JobPhase::kRestore, kPhaseFailed);
    return RestoreOutcome::kFailed;
  }

  state.SetPhase(JobPhase::kRestore, kPhaseDone);
  state.SetPhase(JobPhase::kRestoreVerify, kPhaseRunning);
  verifying = true;
  if (state.softwareTestMode) {
    state.ShowMessage(
        "A bad file store has caused a restore.\r\nSuggestion: Mess with the files on the CF",
        MessageButtons::Ok, MessageIcon::None);
  }

  const bool verified =
      KeepReport(state, Verify(state, card, package, Reference::kCard)) == VerifyDecision::kPassed;
  const std::string text = verified ? "Restore OK!!" : kRestoreFailedText;
  state.SetStatus(text);
  state.AppendDiagnostics(text);
  state.SetPhase(JobPhase::kRestoreVerify, verified ? kPhaseDone : kPhaseFailed);
  return verified ? RestoreOutcome::kVerified : RestoreOutcome::kFailed;
}

}  // namespace

RestoreOutcome AttemptRestore(JobState& state, const StoreRequest& request, CardFacts& card,
                              LoadedPackage& package) {
  state.Log("AttemptRestore");
  bool verifying = false;
  try {
    return PutBackAndVerify(state, request, card, package, verifying);
  } catch (const JobStopped&) {
    // A stop by request fails the step the restore was in; every failure of its own has ended
    // the restore before.
    state.SetPhase(verifying ? JobPhase::kRestoreVerify : JobPhase::kRestore, kPhaseFailed);
    throw;
  }
}

}  // namespace cw
