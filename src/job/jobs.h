#pragma once
// The two jobs' worker entries. Each takes the front end's platform and JobContext, keeps the
// job's own state (record/job_state.h), runs on its own worker thread and reports only through
// that context; both clear jobRunning on every exit.

#include "platform/platform.h"
#include "record/job_context.h"
#include "record/job_result.h"

namespace cw {

struct JobState;

// "Store and Verify" (with "Restore Only" when restoreOnly is set).
JobResult DownloadAndVerify(Platform& platform, JobContext* job);
// "Verify Only".
JobResult VerifyOnly(Platform& platform, JobContext* job);
// The same two jobs on a state the caller owns and can read afterwards (`state.job` is the
// front end's record).
JobResult DownloadAndVerifyJob(JobState& state);
JobResult VerifyOnlyJob(JobState& state);

// Builds upgradeInfoText (the record appended to "FWP_INFO_FILE.TXT") for the job `state`.
void GetUpgradeInfo(JobState& state);

}  // namespace cw
