#pragma once
// The two jobs' worker entries. Each takes the front end's platform, JobContext and request
// (never changed by the job), keeps the job's own state (record/job_state.h) and what its steps
// find (JobFindings), runs on its own worker thread and reports only through that context; both
// clear jobRunning on every exit.

#include "card/card_inspection.h"
#include "package/loaded_package.h"
#include "platform/platform.h"
#include "record/job_context.h"
#include "record/job_request.h"
#include "record/job_result.h"

namespace cw {

struct JobState;

// "Store and Verify" (with "Restore Only" when the request's backup choice says so).
JobResult DownloadAndVerify(Platform& platform, JobContext* job, const StoreRequest& request);
// "Verify Only".
JobResult VerifyOnly(Platform& platform, JobContext* job, const VerifyRequest& request);
// What a job found on the card and made of the package: the card inspection's facts and the
// loaded package, which the job keeps from the step that makes them to the steps that use them.
struct JobFindings {
  CardFacts card;
  LoadedPackage package;
};

// The same two jobs on a state the caller owns and can read afterwards (`state.job` is the
// front end's record). With `findings`, the job keeps its findings there (emptied as it
// starts), so the caller can read them once it has ended.
JobResult DownloadAndVerifyJob(JobState& state, const StoreRequest& request,
                               JobFindings* findings = nullptr);
JobResult VerifyOnlyJob(JobState& state, const VerifyRequest& request,
                        JobFindings* findings = nullptr);

// The card inspection of a job (GetCFInfo over cardFileList): what it found, added to what was
// known of the card (`card`); the kind the card shows becomes the job's targetType. `target` is
// the kind of files the user asked for.
CardFacts InspectCard(JobState& state, CardFacts card, TargetChoice target);

// Builds upgradeInfoText (the record appended to "FWP_INFO_FILE.TXT") for the job `state`: the
// card's kind as its inspection found it, the versions of the package the job loaded and the
// package's path as the request gave it.
void GetUpgradeInfo(JobState& state, int32_t cardTarget, const PackageVersions& versions,
                    const std::string& packagePath);

}  // namespace cw
