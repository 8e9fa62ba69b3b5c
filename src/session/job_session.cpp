#include "session/job_session.h"

#include "journal/journal_file.h"
#include "record/prompt.h"
#include "session/front_end.h"

namespace cw {

JobSession::JobSession(Platform& platform, JobContext& job, std::string frontEnd)
    : platform_(platform), job_(job), frontEnd_(std::move(frontEnd)) {}

JobSession::~JobSession() {
  if (worker_.joinable()) worker_.join();
}

void JobSession::Start(JobWorker worker, SessionEvents* events, std::string dataPath) {
  if (Running()) return;
  if (worker_.joinable()) worker_.join();
  dataPath_ = std::move(dataPath);
  for (std::atomic<int32_t>& phase : phases_) phase = kPhaseIdle;
  events_ = events != nullptr ? events : &silent_;
  job_.events = &relay_;
  transcriptSaved_ = false;
  runId_ = NewRunId();
  started_ = platform_.GetWallTime();
  phaseTimes_.clear();
  for (int64_t& files : filesDone_) files = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
    journalProblem_.clear();
  }
  worker_ = std::thread([this, worker = std::move(worker)] { RunWorker(worker); });
}

void JobSession::RunWorker(const JobWorker& worker) {
  const JobResult result = worker(&job_);
  transcriptSaved_ = StoreDiagnostics(platform_, job_, dataPath_);
  for (int i = 0; i < kJobPhaseCount; ++i) {
    // A job that ended inside a phase (refused in its checks, stopped) spent this much in it.
    if (phases_[i] == kPhaseRunning) TimePhase(static_cast<JobPhase>(i), kPhaseDone);
  }
  JournalFacts facts = JournalFactsOf(platform_, result, frontEnd_, runId_, started_);
  facts.stage = EndedStage();
  facts.filesWritten = filesDone_[kProgressExtraction];
  facts.filesRestored = filesDone_[kProgressRestore];
  for (const FileCheck& check : result.checks)
    ++(check.matched ? facts.filesVerified : facts.filesFailed);
  facts.phases = phaseTimes_;
  const std::string journalProblem =
      JournalEndedJob(platform_, dataPath_, JournalEntryOf(facts));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    journalProblem_ = journalProblem;
    result_ = result;
    running_ = false;
    ended_.notify_all();
  }
  // Last: a front end that hears of the end may start the next job at once.
  events_->Ended(result);
}

bool JobSession::Running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

PhaseState JobSession::Phase(JobPhase phase) const {
  return static_cast<PhaseState>(phases_[static_cast<int>(phase)].load());
}

void JobSession::RequestStop(int32_t level) {
  int32_t made = job_.stopRequested;
  while (made < level && !job_.stopRequested.compare_exchange_weak(made, level)) {
  }
}

void JobSession::Close() {
  RequestStop(1);
  if (job_.prompt != nullptr) job_.prompt->CloseAll();
}

bool JobSession::WaitForEnd(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return ended_.wait_for(lock, timeout, [this] { return !running_; });
}

bool JobSession::WaitToClose(std::chrono::milliseconds grace,
                             const std::function<void()>& outwaiting) {
  const auto ended = [this] { return !running_; };
  std::unique_lock<std::mutex> lock(mutex_);
  // Woken at the end only: a card that begins to change within the grace is seen after it.
  if (!MustOutwaitClose() &&
      ended_.wait_until(lock, std::chrono::steady_clock::now() + grace, ended))
    return true;
  if (!MustOutwaitClose()) return false;
  if (running_ && outwaiting) outwaiting();
  ended_.wait(lock, ended);
  return true;
}

std::string JobSession::JournalProblem() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return journalProblem_;
}

void JobSession::TimePhase(JobPhase phase, PhaseState state) {
  const int index = static_cast<int>(phase);
  const auto now = std::chrono::steady_clock::now();
  if (state == kPhaseRunning) {
    phaseBegan_[index] = now;
  } else if (phases_[index] == kPhaseRunning) {
    const std::chrono::duration<double> took = now - phaseBegan_[index];
    phaseTimes_.push_back(PhaseDuration{PhaseName(phase), took.count()});
  }
}

std::string JobSession::EndedStage() const {
  const std::pair<JobPhase, const char*> stages[] = {
      {JobPhase::kRestoreVerify, "restore_verification"},
      {JobPhase::kRestore, "restore"},
      {JobPhase::kVerify, "verification"},
      {JobPhase::kVerifyOnly, "verification"},
      {JobPhase::kStore, "store"},
  };
  for (const auto& [phase, name] : stages)
    if (Phase(phase) != kPhaseIdle) return name;
  return "checks";
}

std::optional<JobResult> JobSession::Join() {
  if (!worker_.joinable()) return std::nullopt;
  worker_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

void JobSession::Relay::PhaseChanged(JobPhase phase, PhaseState state) {
  session_.TimePhase(phase, state);
  session_.phases_[static_cast<int>(phase)] = state;
  session_.events_->PhaseChanged(phase, state);
}

void JobSession::Relay::StatusChanged(const std::string& text) {
  session_.events_->StatusChanged(text);
}

void JobSession::Relay::ProgressRange(int32_t min, int32_t max) {
  session_.events_->ProgressRange(min, max);
}

void JobSession::Relay::ProgressPosition(int32_t pos) {
  session_.events_->ProgressPosition(pos);
}

void JobSession::Relay::AmountsStarted(ProgressPhase phase, int64_t files, uint64_t bytes) {
  session_.filesDone_[phase] = 0;
  session_.events_->AmountsStarted(phase, files, bytes);
}

void JobSession::Relay::FileDone(ProgressPhase phase, uint64_t bytes) {
  ++session_.filesDone_[phase];
  session_.events_->FileDone(phase, bytes);
}

void JobSession::Relay::TranscriptAppended(const std::string& text) {
  session_.events_->TranscriptAppended(text);
}

void JobSession::Relay::FileChecked(const FileCheck& check) {
  session_.events_->FileChecked(check);
}

}  // namespace cw
