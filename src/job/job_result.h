#pragma once
// The result each job returns, made once at its end from the job's own record: how its restore
// ended, and of its other steps (for now) the phases it went through.

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
JobResult VerifyJobResult(const JobState& state, int exitCode);

// Ends a job with `exitCode`: jobRunning is the last field a job writes.
inline int EndJob(JobContext& job, int exitCode) {
  job.jobRunning = 0;
  return exitCode;
}

}  // namespace cw
