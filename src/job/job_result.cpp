#include "job/job_result.h"

#include "verify/verify.h"

namespace cw {
namespace {

// A chain of phases, each begun only when the one before is done: the first that failed fails
// it, the last one done passes it.
Verdict ChainVerdict(const JobState& state, std::initializer_list<JobPhase> phases) {
  for (const JobPhase phase : phases) {
    if (state.Phase(phase) == kPhaseFailed) return Verdict::kFailed;
    if (state.Phase(phase) != kPhaseDone) return Verdict::kNone;
  }
  return Verdict::kPassed;
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
    if (state.Phase(JobPhase::kPreparation) == kPhaseFailed) result.check = Verdict::kFailed;
    result.nothingToRestore = restoreRan && state.backupFileCount == 0;
    passed = !result.nothingToRestore && state.restoreOutcome == RestoreOutcome::kVerified;
  } else {
    result.check =
        ChainVerdict(state, {JobPhase::kPreparation, JobPhase::kStore, JobPhase::kVerify});
    passed = exitCode == 1 && state.Phase(JobPhase::kVerify) == kPhaseDone;
  }
  if (exitCode == kExitStopped)
    result.outcome = JobOutcome::kStopped;
  else if (exitCode == kExitCardReplaced)
    result.outcome = JobOutcome::kCardReplaced;
  else if (passed)
    result.outcome = JobOutcome::kPassed;
  else if (state.Phase(JobPhase::kPreparation) != kPhaseDone && !restoreRan)
    result.outcome = JobOutcome::kRefused;
  else
    result.outcome = JobOutcome::kFailed;
  result.checks = state.fileChecks;
  return result;
}

JobResult VerifyJobResult(const JobState& state, int exitCode) {
  JobResult result;
  result.kind = JobKind::kVerifyOnly;
  result.stop = state.stopOutcome;
  // A card or reference that could not be read has no mark: the job's own message explains it.
  if (state.Phase(JobPhase::kVerifyOnly) == kPhaseDone)
    result.check = ChainVerdict(state, {JobPhase::kVerify});
  if (exitCode == kExitStopped)
    result.outcome = JobOutcome::kStopped;
  else if (exitCode == kExitCardReplaced)
    result.outcome = JobOutcome::kCardReplaced;
  else if (exitCode == kExitVerified)
    result.outcome = JobOutcome::kPassed;
  else if (state.Phase(JobPhase::kVerifyOnly) != kPhaseDone)
    result.outcome = JobOutcome::kRefused;
  else
    result.outcome = JobOutcome::kFailed;
  result.checks = state.fileChecks;
  return result;
}

}  // namespace cw
