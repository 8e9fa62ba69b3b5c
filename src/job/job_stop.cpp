#include "job/job_stop.h"

#include <new>

#include "job/job_result.h"
#include "job/attempt_restore.h"
#include "package/stored_package_record.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/store_job.h"

namespace cw {
namespace {

// The step the store job is in gets the failure marks; once a step has failed, the writing.
void FailCurrentPhase(JobState& state) {
  if (!state.storeStepFailed && state.storeStep == JobState::StoreStep::kChecks)
    FailStep(state, JobPhase::kPreparation);
  else if (!state.storeStepFailed && state.storeStep == JobState::StoreStep::kVerifying)
    FailStep(state, JobPhase::kVerify);
  else
    FailStep(state, JobPhase::kStore);
}

// What a stop says; a card left unchanged by a backup that cleared attributes names them, since
// they stay cleared.
std::string StopText(const JobState& state, StopOutcome outcome) {
  if (outcome != kStoppedCardUnchanged || state.attributesCleared.empty())
    return StopSummary(outcome);
  std::string text = "Stopped: the card's files are unchanged; the backup cleared the read-only, "
                     "hidden or system attribute of";
  for (size_t i = 0; i < state.attributesCleared.size(); ++i)
    text += (i == 0 ? " " : ", ") + state.attributesCleared[i];
  return text + ".";
}

void Announce(JobState& state, StopOutcome outcome, const std::string& detail = "") {
  const std::string text = StopText(state, outcome) + (detail.empty() ? "" : " " + detail);
  state.Log("  " + text);
  state.SetStatus(text);
  state.AppendDiagnostics("\r\n" + text + "\r\n");
  state.stopOutcome = outcome;
}

// Restores a card that had changed; the outcome says how it went.
StopOutcome RestoreChangedCard(JobState& state, const StoreRequest& request, CardFacts& card,
                               LoadedPackage& package) {
  FailCurrentPhase(state);
  state.Log("    attempting to put the backup back after the job ended early.");
  if (RunRestore(state, request, card, package) == RestoreOutcome::kVerified)
    return kStoppedRestored;
  // No backup in this job: "Create Backup" was off, or the card was empty.
  return state.backupSkipped ? kStoppedNoBackup : kStoppedRestoreFailed;
}

}  // namespace

void FailStep(JobState& state, JobPhase phase) {
  state.SetPhase(phase, kPhaseFailed);
  state.storeStepFailed = true;
}

RestoreOutcome RunRestore(JobState& state, const StoreRequest& request, CardFacts& card,
                          LoadedPackage& package) {
  ReleasePackageBytes(package);
  JobContext& job = state.job;
  job.cardMayHaveChanged = 1;
  const int32_t previous = state.stopLevel;
  // The restore's own stop is the second request, whenever it came: two made before the
  // restore began stop it at its first file.
  state.stopLevel = 2;
  state.restoreRan = true;
  try {
    const RestoreOutcome restored = AttemptRestore(state, request, card, package);
    state.stopLevel = previous;
    state.restoreOutcome = restored;
    return restored;
  } catch (const JobStopped& stop) {
    state.stopLevel = previous;
    state.restoreOutcome = RestoreOutcome::kFailed;
    state.Log("  the restore was stopped by request.");
    Announce(state, kStoppedRestoreCut, stop.detail);
    throw;
  }
}

int EndStoppedStore(JobState& state, const StoreRequest& request, CardFacts& card,
                    LoadedPackage& package, int stage, bool cardChanged) {
  JobContext& job = state.job;
  // A restore that was stopped itself has already said so.
  if (state.stopOutcome == kStoppedRestoreCut) return EndJob(job, kExitStopped);
  state.LogF("  the job was stopped by request at stage %d, %s.", stage,
             cardChanged ? "after the card had changed" : "before the card changed");
  const StopOutcome outcome =
      cardChanged ? RestoreChangedCard(state, request, card, package) : kStoppedCardUnchanged;
  Announce(state, outcome);
  return EndJob(job, kExitStopped);
}

int EndFailedStore(JobState& state, const StoreRequest& request, CardFacts& card,
                   LoadedPackage& package, int stage, bool cardChanged, const std::string& error) {
  JobContext& job = state.job;
  state.LogF("  the job ended by an unexpected error at stage %d: %s", stage, error.c_str());
  if (!cardChanged) {
    FailCurrentPhase(state);
    state.ShowUnexpectedError(error);
    return EndJob(job, 0);
  }
  state.ShowUnexpectedError(error);
  RestoreChangedCard(state, request, card, package);
  return EndJob(job, 0);
}

std::string DescribeError(const std::exception& error) {
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "memory exhausted";
  return error.what();
}

std::string StopSummary(int32_t outcome) {
  switch (outcome) {
    case kStoppedCardUnchanged:
      return "Stopped: the card was not changed.";
    case kStoppedRestored:
      return "Stopped: the card had changed, so its backup was put back. Restore OK!!";
    case kStoppedRestoreFailed:
      return "Stopped: the card had changed and its backup was put back, but the card did not "
             "verify. Restore Failed!! Compact flash is not usable!!";
    case kStoppedNoBackup:
      return "Stopped: the card is half-written and there is no backup to put back. The "
             "compact flash is not usable until a package is stored on it.";
    case kStoppedRestoreCut:
      return "Stopped during the restore: the card is half-restored and not usable until the "
             "restore is finished.";
    case kStoppedVerify:
      return "Stopped: the verification did not finish.";
    default:
      return std::string();
  }
}

}  // namespace cw
