#include "record/job_context.h"

namespace cw {

std::string GuardedText::Get() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

void GuardedText::Set(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = text;
}

void GuardedText::Append(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ += text;
}

namespace {

// The values both jobs start from. The log and the transcript are kept from job to job.
void ResetCommon(JobContext& job) {
  job.statusText.Set("");
  job.stopRequested = 0;
  job.cardMayHaveChanged = 0;
  job.jobRunning = 1;
  job.progressRangeChanged = 0;
  job.progressMin = 0;
  job.progressMax = 0;
  job.progressPos = 0;
  job.progressPhase = kProgressNone;
  for (PhaseAmounts& amounts : job.phaseAmounts) {
    amounts.filesDone = 0;
    amounts.filesTotal = 0;
    amounts.bytesDone = 0;
    amounts.bytesTotal = 0;
  }
  job.prepState = kPhaseIdle;
  job.storeState = kPhaseIdle;
  job.restoreState = kPhaseIdle;
  job.verifyOnlyState = kPhaseIdle;
  job.verifyState = kPhaseIdle;
  job.restoreVerifyState = kPhaseIdle;
}

}  // namespace

void PrepareStoreJob(JobContext& job) {
  ResetCommon(job);
  job.prepState = kPhaseRunning;
}

void PrepareVerifyJob(JobContext& job) {
  ResetCommon(job);
  job.verifyOnlyState = kPhaseRunning;
}

}  // namespace cw
