#pragma once
// The two jobs' worker entries. Each takes the front end's JobContext, runs on its own worker
// thread and reports only through that context; both clear jobRunning on every exit.

#include "job/job_context.h"

namespace cw {

// "Store and Verify" (with "Restore Only" when restoreOnly is set). 1 on success or after the
// restore-only path, 0 otherwise, 5 when stopped.
int DownloadAndVerify(JobContext* job);
// "Verify Only". The result of Verify (2 when every file matched), else 0; 5 when stopped.
int VerifyOnly(JobContext* job);

// Builds upgradeInfoText (the record appended to "FWP_INFO_FILE.TXT") for the running job.
void GetUpgradeInfo();

}  // namespace cw
