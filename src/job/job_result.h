#pragma once
// The result each job returns, made once at its end from what its steps returned and from the
// job's own record of where it is: never from the phases it showed.

#include "record/job_result.h"
#include "record/job_state.h"
#include "verify/verify.h"

namespace cw {

// `exitCode` is the job's own end: kExitStopped after a stop, kExitCardReplaced when another
// card took the job's card's place, 1 when the store ran to its end
// (or a restore-only job ran its restore), kExitVerified when every file matched, else 0.
// A verify-only job's exit code when every file matched.
constexpr int kExitVerified = 2;

// Takes a verification's report into the job's record; returns what it decided.
VerifyDecision KeepReport(JobState& state, VerifyReport report);

JobResult StoreJobResult(const JobState& state, const StoreRequest& request, int exitCode);
// `cardRead`: the verify-only job had its reference and began reading the card.
JobResult VerifyJobResult(const JobState& state, int exitCode, bool cardRead);

// Ends a job with `exitCode`: jobRunning is the last field a job writes.
inline int EndJob(JobContext& job, int exitCode) {
  job.jobRunning = 0;
  return exitCode;
}

}  // namespace cw
