#pragma once
// The two jobs' worker entries. Each takes the front end's platform and JobContext, keeps the
// job's own state (record/job_state.h), runs on its own worker thread and reports only through
// that context; both clear jobRunning on every exit.

#include "platform/platform.h"
#include "record/job_context.h"

namespace cw {

struct JobState;

// "Store and Verify" (with "Restore Only" when restoreOnly is set). 1 on success or after the
// restore-only path, 0 otherwise, 5 when stopped.
int DownloadAndVerify(Platform& platform, JobContext* job);
// "Verify Only". The result of Verify (2 when every file matched), else 0; 5 when stopped.
int VerifyOnly(Platform& platform, JobContext* job);
// The same two jobs on a state the caller owns and can read afterwards (`state.job` is the
// front end's record).
int DownloadAndVerifyJob(JobState& state);
int VerifyOnlyJob(JobState& state);

// Builds upgradeInfoText (the record appended to "FWP_INFO_FILE.TXT") for the job `state`.
void GetUpgradeInfo(JobState& state);

}  // namespace cw
