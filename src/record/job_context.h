#pragma once
// The one record shared by a front end and the worker thread of a job. What the job is asked
// to do is not in it: each front end keeps its start values and hands the job a request.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/target_type.h"
#include "record/file_check.h"
#include "record/job_request.h"
#include "record/package_versions.h"

namespace cw {

class CLogToFile;
class JobEvents;
class Prompt;

enum PhaseState : int32_t {
  kPhaseIdle = 0,
  kPhaseRunning = 1,
  kPhaseFailed = 2,
  kPhaseDone = 3,
};

// How a job that was asked to stop ended (its result's `stop`); kNotStopped for every other end.
enum StopOutcome : int32_t {
  kNotStopped = 0,
  kStoppedCardUnchanged = 1,  // stopped before the card changed
  kStoppedRestored = 2,       // stopped after the card changed; the backup was put back
  kStoppedRestoreFailed = 3,  // the same, but the restored card did not verify
  kStoppedNoBackup = 4,       // stopped after the card changed, with no backup to put back
  kStoppedRestoreCut = 5,     // a restore was itself stopped: the card is not usable
  kStoppedVerify = 6,         // a verify-only job stopped before it finished
};

// A text both threads touch while a job runs; every access takes its lock.
class GuardedText {
 public:
  std::string Get() const;
  void Set(const std::string& text);
  void Append(const std::string& text);

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// The phases whose amounts a front end can show (files and bytes done of their totals).
enum ProgressPhase : int32_t {
  kProgressNone = 0,
  kProgressBackup = 1,
  kProgressExtraction = 2,
  kProgressRestore = 3,
  kProgressVerification = 4,
  kProgressPhaseCount = 5,
};

// The files and bytes of one phase's work, written by the worker as each file is done. They
// keep their last values after the phase ends, so a front end that looks late still sees how
// the phase ended; `starts` is raised each time the phase begins.
struct PhaseAmounts {
  std::atomic<int32_t> starts{0};
  std::atomic<int64_t> filesDone{0};
  std::atomic<int64_t> filesTotal{0};
  std::atomic<int64_t> bytesDone{0};
  std::atomic<int64_t> bytesTotal{0};
};

struct JobContext {
  GuardedText statusText;
  // Raised by the front end: 1 asks the job to stop at its next file; each further request
  // (a second Ctrl-C) adds one. A restore runs on until a request made after it began.
  std::atomic<int32_t> stopRequested{0};
  // Set by a store job from the moment the card may change (a Panel card's cleaning, stage 11,
  // a restore): a closing window then waits for the job's end, restore included.
  std::atomic<int32_t> cardMayHaveChanged{0};
  std::atomic<int32_t> jobRunning{0};
  std::atomic<int32_t> progressRangeChanged{0};
  std::atomic<int32_t> progressMin{0};
  std::atomic<int32_t> progressMax{0};
  std::atomic<int32_t> progressPos{0};
  // The phase counting amounts now (kProgressNone between them); the amounts of each phase
  // by its number.
  std::atomic<int32_t> progressPhase{kProgressNone};
  PhaseAmounts phaseAmounts[kProgressPhaseCount];
  std::atomic<int32_t> prepState{kPhaseIdle};
  std::atomic<int32_t> storeState{kPhaseIdle};
  std::atomic<int32_t> restoreState{kPhaseIdle};
  std::atomic<int32_t> verifyOnlyState{kPhaseIdle};
  std::atomic<int32_t> verifyState{kPhaseIdle};
  std::atomic<int32_t> restoreVerifyState{kPhaseIdle};
  GuardedText diagnosticsText;  // never cleared: the transcript of the whole run
  CLogToFile* log = nullptr;
  // How the job reaches the user; set by the front end.
  Prompt* prompt = nullptr;
  // What the job tells the front end as it happens; none when the front end reads this record.
  JobEvents* events = nullptr;
};

// A store job ("Store and Verify") and a verify-only job ("Verify Only") about to start: the
// record's outputs and phases reset. Both front ends call these once the request has passed
// its checks.
void PrepareStoreJob(JobContext& job);
void PrepareVerifyJob(JobContext& job);

}  // namespace cw
