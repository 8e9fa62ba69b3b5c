#pragma once
// One job on its own worker thread, the same for the command line and both windows: the job's
// events pass through to the front end's sink (on the job's thread), a stop goes in as levels,
// a closing front end waits by one rule, and the end saves the transcript and hands back the
// job's result, once.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "journal/journal_entry.h"
#include "platform/platform.h"
#include "record/job_context.h"
#include "record/job_events.h"
#include "record/job_request.h"
#include "record/job_result.h"

namespace cw {

// A job's worker entry (DownloadAndVerify and VerifyOnly on a platform, or a test's own).
using JobWorker = std::function<JobResult(JobContext*)>;

// What a front end hears from a session: the job's events, and once its end. All of it arrives
// on the job's thread; a window hands it on to its own.
class SessionEvents : public JobEvents {
 public:
  // The job has ended with `result`; its transcript has been saved (or said it could not be).
  virtual void Ended(const JobResult& /*result*/) {}
};

class JobSession {
 public:
  // `job` is the front end's record of the job (its log and prompt set); both outlive the
  // session. `frontEnd` names the front end in the card journal ("window", "command_line").
  JobSession(Platform& platform, JobContext& job, std::string frontEnd);
  // Waits for a job still running: a front end decides before (WaitToClose) whether to wait.
  ~JobSession();
  JobSession(const JobSession&) = delete;
  JobSession& operator=(const JobSession&) = delete;

  // Runs `worker` on its own thread, its events told to `events` (none: nothing is told), for
  // the front end's `request`. The thread of a job that has ended is reaped first; a job still
  // running is not replaced.
  void Start(JobWorker worker, SessionEvents* events, std::string dataPath);
  // From Start until the worker has returned and its transcript has been saved (the end is
  // told to the sink just after).
  bool Running() const;
  // The job's phases as its events told them (all idle before a job).
  PhaseState Phase(JobPhase phase) const;

  // Raises the stop requests to `level` (never lowers them): the first stops the job at its next
  // file, a second also stops a restore.
  void RequestStop(int32_t level);
  // The front end is closing (its window closed, Esc confirmed, its console ending): the job is
  // asked to stop if it was not yet, and an open question is answered Cancel.
  void Close();
  // Whether a closing front end must wait for the job however long it takes: the card may have
  // changed, and the restore must finish.
  bool MustOutwaitClose() const { return job_.cardMayHaveChanged != 0; }
  // Waits up to `timeout` for the job's end; true when no job runs.
  bool WaitForEnd(std::chrono::milliseconds timeout);
  // The close rule: waits for the job's end, however long while the card may have changed,
  // else up to `grace`. True when the job has ended. `outwaiting`, when given, is told once
  // as the wait goes on for a card that may have changed.
  bool WaitToClose(std::chrono::milliseconds grace,
                   const std::function<void()>& outwaiting = nullptr);

  // After the end: the thread reaped, and the job's result; nullopt when no job was started
  // since the last Join.
  std::optional<JobResult> Join();
  // Whether the transcript saved at the job's end is all on disk.
  bool TranscriptSaved() const { return transcriptSaved_; }
  // After the end: what to tell the user when the job's card journal line could not be
  // written (empty when it was, or when the job took no card). It never fails the job.
  std::string JournalProblem() const;

 private:
  // Records the phases, then tells the front end's sink.
  class Relay : public JobEvents {
   public:
    explicit Relay(JobSession& session) : session_(session) {}
    void PhaseChanged(JobPhase phase, PhaseState state) override;
    void StatusChanged(const std::string& text) override;
    void ProgressRange(int32_t min, int32_t max) override;
    void ProgressPosition(int32_t pos) override;
    void AmountsStarted(ProgressPhase phase, int64_t files, uint64_t bytes) override;
    void FileDone(ProgressPhase phase, uint64_t bytes) override;
    void TranscriptAppended(const std::string& text) override;
    void FileChecked(const FileCheck& check) override;

   private:
    JobSession& session_;
  };
  void RunWorker(const JobWorker& worker);

  // Each phase's time from its start to its end, as the journal records them.
  void TimePhase(JobPhase phase, PhaseState state);
  // The stage a job ended in, as the journal names it: the last of its phases that began.
  std::string EndedStage() const;

  Platform& platform_;
  JobContext& job_;
  const std::string frontEnd_;
  std::string dataPath_;  // the running job's data folder; written before its thread starts
  std::string runId_;
  WallTime started_;
  std::chrono::steady_clock::time_point phaseBegan_[kJobPhaseCount];
  std::vector<PhaseDuration> phaseTimes_;  // the worker's own, read after the end
  int64_t filesDone_[kProgressPhaseCount]{};  // the worker's own: each counted phase's files
  std::string journalProblem_;             // guarded by mutex_
  Relay relay_{*this};
  SessionEvents silent_;
  SessionEvents* events_ = &silent_;
  std::atomic<int32_t> phases_[kJobPhaseCount]{};
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  bool running_ = false;  // guarded by mutex_
  std::atomic<bool> transcriptSaved_{false};
  JobResult result_;  // written by the worker before it clears running_
  std::thread worker_;
};

}  // namespace cw
