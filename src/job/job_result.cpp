#include "job/job_result.h"

#include "verify/verify.h"

namespace cw {
namespace {

// A chain of phases, each begun only when the one before is done: the first that failed fails
// it, the last one done passes it.
Verdict ChainVerdict(std::initializer_list<const std::atomic<int32_t>*> phases) {
  for (const std::atomic<int32_t>* phase : phases) {
    if (*phase == kPhaseFailed) return Verdict::kFailed;
    if (*phase != kPhaseDone) return Verdict::kNone;
  }
  return Verdict::kPassed;
}

Verdict RestoreVerdict(const JobContext& job) {
  return ChainVerdict({&job.restoreState, &job.restoreVerifyState});
}

}  // namespace

JobResult StoreJobResult(const JobState& state, int exitCode) {
  const JobContext& job = state.job;
  JobResult result;
  result.kind = job.restoreOnly ? JobKind::kRestoreOnly : JobKind::kStore;
  result.stop = static_cast<StopOutcome>(job.stopOutcome.load());
  result.restore = RestoreVerdict(job);
  const bool restoreRan = job.restoreState != kPhaseIdle;
  result.cardChanged = state.cardChanged || restoreRan;
  bool passed = false;
  if (result.kind == JobKind::kRestoreOnly) {
    // Only a failed preparation marks the first line; the restore has the second.
    if (job.prepState == kPhaseFailed) result.check = Verdict::kFailed;
    result.nothingToRestore = restoreRan && job.backupFileCount == 0;
    passed = restoreRan && !result.nothingToRestore && job.restoreVerifyState == kPhaseDone;
  } else {
    result.check = ChainVerdict({&job.prepState, &job.storeState, &job.verifyState});
    passed = exitCode == 1 && job.verifyState == kPhaseDone;
  }
  if (exitCode == kExitStopped)
    result.outcome = JobOutcome::kStopped;
  else if (exitCode == kExitCardReplaced)
    result.outcome = JobOutcome::kCardReplaced;
  else if (passed)
    result.outcome = JobOutcome::kPassed;
  else if (job.prepState != kPhaseDone && !restoreRan)
    result.outcome = JobOutcome::kRefused;
  else
    result.outcome = JobOutcome::kFailed;
  return result;
}

JobResult VerifyJobResult(const JobState& state, int exitCode) {
  const JobContext& job = state.job;
  JobResult result;
  result.kind = JobKind::kVerifyOnly;
  result.stop = static_cast<StopOutcome>(job.stopOutcome.load());
  // A card or reference that could not be read has no mark: the job's own message explains it.
  if (job.verifyOnlyState == kPhaseDone) result.check = ChainVerdict({&job.verifyState});
  if (exitCode == kExitStopped)
    result.outcome = JobOutcome::kStopped;
  else if (exitCode == kExitCardReplaced)
    result.outcome = JobOutcome::kCardReplaced;
  else if (exitCode == kVerifyPassed)
    result.outcome = JobOutcome::kPassed;
  else if (job.verifyOnlyState != kPhaseDone)
    result.outcome = JobOutcome::kRefused;
  else
    result.outcome = JobOutcome::kFailed;
  return result;
}

}  // namespace cw
