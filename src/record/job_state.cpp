#include "record/job_state.h"

#include "log/log_to_file.h"
#include "platform/platform.h"

namespace cw {

namespace {

std::atomic<int32_t>& PhaseField(JobContext& job, JobPhase phase) {
  switch (phase) {
    case JobPhase::kPreparation:
      return job.prepState;
    case JobPhase::kStore:
      return job.storeState;
    case JobPhase::kVerify:
      return job.verifyState;
    case JobPhase::kRestore:
      return job.restoreState;
    case JobPhase::kRestoreVerify:
      return job.restoreVerifyState;
    case JobPhase::kVerifyOnly:
      break;
  }
  return job.verifyOnlyState;
}

}  // namespace

JobState::JobState(Platform& platform, JobContext& context) : platform(platform), job(context) {
  for (int i = 0; i < kJobPhaseCount; ++i)
    phases_[i] = static_cast<PhaseState>(PhaseField(job, static_cast<JobPhase>(i)).load());
}

void JobState::SetPhase(JobPhase phase, PhaseState to) {
  phases_[static_cast<int>(phase)] = to;
  PhaseField(job, phase) = to;
  if (job.events != nullptr) job.events->PhaseChanged(phase, to);
}

void JobState::Log(const std::string& message) const {
  if (job.log != nullptr) job.log->Log(message);
}

MessageResult JobState::ShowMessage(const std::string& text, MessageButtons buttons,
                                    MessageIcon icon) const {
  if (job.prompt == nullptr) return MessageResult::Cancel;
  const MessageResult result = job.prompt->MessageBox(text, buttons, icon);
  // A box with only an OK button can end no other way.
  return buttons == MessageButtons::Ok ? MessageResult::Ok : result;
}

void JobState::ShowAndRecord(const std::string& text, MessageIcon icon) const {
  ShowMessage(text, MessageButtons::Ok, icon);
  AppendDiagnostics(text);
}

void JobState::ShowUnexpectedError(const std::string& error) const {
  // Recorded first: the prompt itself may be what failed.
  const std::string text = "The job ended by an unexpected error: " + error + "\r\n";
  AppendDiagnostics(text);
  ShowMessage(text, MessageButtons::Ok, MessageIcon::Warning);
}

void JobState::BeginPhases(JobPhase first) {
  for (int i = 0; i < kJobPhaseCount; ++i) {
    const JobPhase phase = static_cast<JobPhase>(i);
    if (phase != first && Phase(phase) != kPhaseIdle) SetPhase(phase, kPhaseIdle);
  }
  SetPhase(first, kPhaseRunning);
}

void JobState::SetStatus(const std::string& text) const {
  job.statusText.Set(text);
  if (job.events != nullptr) job.events->StatusChanged(text);
}

void JobState::AppendDiagnostics(const std::string& text) const {
  job.diagnosticsText.Append(text);
  if (job.events != nullptr) job.events->TranscriptAppended(text);
}

void JobState::SetProgressRange(int32_t min, int32_t max) const {
  job.progressMin = min;
  job.progressMax = max;
  job.progressPos = min;
  job.progressPhase = kProgressNone;
  // Raised last, so the timer never applies half a range.
  job.progressRangeChanged = 1;
  if (job.events != nullptr) job.events->ProgressRange(min, max);
}

void JobState::SetProgressPos(int32_t pos) const {
  job.progressPos = pos;
  if (job.events != nullptr) job.events->ProgressPosition(pos);
}

void JobState::StartPhaseAmounts(ProgressPhase phase, int64_t files, uint64_t bytes) const {
  if (phase <= kProgressNone || phase >= kProgressPhaseCount) return;
  PhaseAmounts& amounts = job.phaseAmounts[phase];
  amounts.filesDone = 0;
  amounts.bytesDone = 0;
  amounts.filesTotal = files;
  amounts.bytesTotal = static_cast<int64_t>(bytes);
  // Raised last: a front end that sees the new start sees the new totals.
  ++amounts.starts;
  job.progressPhase = phase;
  if (job.events != nullptr) job.events->AmountsStarted(phase, files, bytes);
}

void JobState::CountFileDone(uint64_t bytes) const {
  const int32_t phase = job.progressPhase;
  if (phase <= kProgressNone || phase >= kProgressPhaseCount) return;
  PhaseAmounts& amounts = job.phaseAmounts[phase];
  amounts.bytesDone += static_cast<int64_t>(bytes);
  ++amounts.filesDone;
  if (job.events != nullptr) job.events->FileDone(static_cast<ProgressPhase>(phase), bytes);
}

FileCheck JobState::RecordFileCheck(FileCheck check) const {
  check.afterRestore = Phase(JobPhase::kRestoreVerify) == kPhaseRunning;
  if (job.events != nullptr) job.events->FileChecked(check);
  return check;
}

void JobState::StopIfRequested() const {
  if (job.stopRequested < stopLevel) return;
  // jobRunning stays set: the job may still put the card back. The worker entry clears it.
  throw JobStopped{};
}

}  // namespace cw
