#include "job/job_result.h"

#include "verify/verify.h"

namespace cw {
namespace {

// The store's steps follow one another: one that failed fails it, the card verified passes it.
Verdict StoreVerdict(const JobState& state) {
  if (state.storeStepFailed) return Verdict::kFailed;
  return state.storeStep == JobState::StoreStep::kVerified ? Verdict::kPassed : Verdict::kNone;
}

Verdict RestoreVerdict(const JobState& state) {
  if (!state.restoreOutcome) return Verdict::kNone;
  return *state.restoreOutcome == RestoreOutcome::kVerified ? Verdict::kPassed : Verdict::kFailed;
}

}  // namespace

VerifyDecision KeepReport(JobState& state, VerifyReport report) {
  state.fileChecks.insert(state.fileChecks.end(), std::make_move_iterator(report.files.begin()),
                          std::make_move_iterator(report.files.end()));
  return report.decision;
}

JobResult StoreJobResult(const JobState& state, const StoreRequest& request, int exitCode) {
  JobResult result;
  result.kind = request.backup.restoreOnly ? JobKind::kRestoreOnly : JobKind::kStore;
  result.stop = state.stopOutcome;
  result.restore = RestoreVerdict(state);
  const bool restoreRan = state.restoreRan;
  result.cardChanged = state.cardChanged || restoreRan;
  if (state.backupComplete || restoreRan)
    result.backup = state.backupRoot.substr(state.backupRoot.find_last_of('\\') + 1);
  bool passed = false;
  if (result.kind == JobKind::kRestoreOnly) {
    // Only a failed preparation marks the first line; the restore has the second.
    if (state.storeStepFailed && state.storeStep == JobState::StoreStep::kChecks)
      result.check = Verdict::kFailed;
    result.nothingToRestore = restoreRan && state.backupFileCount == 0;
    passed = !result.nothingToRestore && state.restoreOutcome == RestoreOutcome::kVerified;
  } else {
    result.check = StoreVerdict(state);
    passed = exitCode == 1 && state.storeStep == JobState::StoreStep::kVerified;
  }
  if (exitCode == kExitStopped)
    result.outcome = JobOutcome::kStopped;
  else if (exitCode == kExitCardReplaced)
    result.outcome = JobOutcome::kCardReplaced;
  else if (passed)
    result.outcome = JobOutcome::kPassed;
  else if (state.storeStep == JobState::StoreStep::kChecks && !restoreRan)
    result.outcome = JobOutcome::kRefused;
  else
    result.outcome = JobOutcome::kFailed;
  result.checks = state.fileChecks;
  return result;
}

JobResult VerifyJobResult(const JobState& state, int exitCode, bool cardRead) {
  JobResult result;
  result.kind = JobKind::kVerifyOnly;
  result.stop = state.stopOutcome;
  // A card or reference that could not be read has no mark: the job's own message explains it.
  // A stop or another card leaves the reading without a verdict.
  if (cardRead && exitCode == kExitVerified)
    result.check = Verdict::kPassed;
  else if (cardRead && exitCode == 0)
    result.check = Verdict::kFailed;
  if (exitCode == kExitStopped)
    result.outcome = JobOutcome::kStopped;
  else if (exitCode == kExitCardReplaced)
    result.outcome = JobOutcome::kCardReplaced;
  else if (exitCode == kExitVerified)
    result.outcome = JobOutcome::kPassed;
  else if (!cardRead)
    result.outcome = JobOutcome::kRefused;
  else
    result.outcome = JobOutcome::kFailed;
  result.checks = state.fileChecks;
  return result;
}

}  // namespace cw
