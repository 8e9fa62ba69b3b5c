#include "session/job_session.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "journal/journal_file.h"
#include "log/log_to_file.h"
#include "record/job_state.h"
#include "session/front_end.h"
#include "support/fake_platform.h"
#include "support/scripted_prompt.h"

namespace cw {
namespace {

// Everything a session tells its front end, in order, as text.
class RecordedEvents : public SessionEvents {
 public:
  void PhaseChanged(JobPhase phase, PhaseState state) override {
    Add("phase " + std::to_string(static_cast<int>(phase)) + "=" + std::to_string(state));
  }
  void StatusChanged(const std::string& text) override { Add("status " + text); }
  void FileDone(ProgressPhase phase, uint64_t bytes) override {
    Add("file " + std::to_string(phase) + " " + std::to_string(bytes));
  }
  void Ended(const JobResult& result) override {
    Add(std::string("ended ") + OutcomeName(result.outcome));
  }
  std::vector<std::string> Seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  void Add(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(line);
  }
  mutable std::mutex mutex_;
  std::vector<std::string> seen_;
};

class JobSessionTest : public ::testing::Test {
 protected:
  JobSessionTest() {
    job.prompt = &prompt;
    dataPath = StartRun(fake, job, log).dataPath;
  }

  FakePlatform fake;
  ScriptedPrompt prompt;
  CLogToFile log{fake};
  JobContext job;
  std::string dataPath;
  JobSession session{fake, job, "window"};
};

TEST_F(JobSessionTest, TheJobsEventsReachTheFrontEndAndItsEndComesLastWithItsResult) {
  RecordedEvents events;
  session.Start(
      [this](JobContext* context) {
        JobState state(fake, *context);
        state.BeginPhases(JobPhase::kVerifyOnly);
        state.SetStatus("Reading");
        state.StartPhaseAmounts(kProgressVerification, 1, 7);
        state.CountFileDone(7);
        state.AppendDiagnostics("all read\r\n");
        state.SetPhase(JobPhase::kVerifyOnly, kPhaseDone);
        JobResult result;
        result.outcome = JobOutcome::kPassed;
        result.card.present = true;
        result.card.serial = 0xAAAA0001;
        result.targetType = kTargetPanel3950;
        return result;
      },
      &events, dataPath);
  const JobResult result = session.Join().value();
  EXPECT_FALSE(session.Join()) << "reaped once";

  EXPECT_EQ(result.outcome, JobOutcome::kPassed);
  EXPECT_FALSE(session.Running());
  EXPECT_EQ(events.Seen(), (std::vector<std::string>{"phase 5=1", "status Reading", "file 4 7",
                                                     "phase 5=3", "ended passed"}));
  EXPECT_EQ(session.Phase(JobPhase::kVerifyOnly), kPhaseDone);
  // The transcript is on disk before the end is told.
  EXPECT_TRUE(session.TranscriptSaved());
  EXPECT_EQ(fake.ReadFile(dataPath + kDiagnosticsFileName), "all read\r\n");
  // The card's journal line names the front end and the phase the job timed.
  EXPECT_EQ(session.JournalProblem(), "");
  std::string journal;
  ASSERT_TRUE(ReadJournalBytes(fake, dataPath, &journal));
  const nlohmann::json line = nlohmann::json::parse(journal);
  EXPECT_EQ(line["front_end"], "window");
  EXPECT_EQ(line["card"]["kind"], "panel") << "as the job took the card";
  EXPECT_EQ(line["card"]["panel_model"], 3950);
  ASSERT_EQ(line["phases"].size(), 1u);
  EXPECT_EQ(line["phases"][0]["phase"], "verify_only");
}

// Raised stop requests never fall: a late first request (a closing window) after two Ctrl-Cs
// must not undo the second, which also stops a restore.
TEST_F(JobSessionTest, StopRequestsOnlyRise) {
  struct Case {
    std::vector<int32_t> levels;
    int32_t made;
  };
  for (const Case& c : {Case{{1}, 1}, Case{{1, 2}, 2}, Case{{2, 1}, 2}, Case{{1, 1}, 1},
                        Case{{3, 2, 1}, 3}}) {
    job.stopRequested = 0;
    for (int32_t level : c.levels) session.RequestStop(level);
    EXPECT_EQ(job.stopRequested, c.made) << ::testing::PrintToString(c.levels);
  }
}

// A closing front end waits for a job that may have changed the card however long it takes,
// and for any other only its grace (none here).
TEST_F(JobSessionTest, AClosingFrontEndOutwaitsOnlyAJobThatMayHaveChangedTheCard) {
  struct Case {
    bool cardMayHaveChanged;
    bool ended;
  };
  for (const Case& c : {Case{false, false}, Case{true, true}}) {
    std::atomic<bool> started{false};
    session.Start(
        [&](JobContext* context) {
          context->cardMayHaveChanged = c.cardMayHaveChanged;
          started = true;
          while (context->stopRequested == 0) std::this_thread::yield();
          return JobResult{};
        },
        nullptr, dataPath);
    while (!started) std::this_thread::yield();
    // The card that may have changed: the stop comes from elsewhere while the front end waits.
    std::thread closer;
    if (c.cardMayHaveChanged) closer = std::thread([this] { session.Close(); });
    EXPECT_EQ(session.WaitToClose(std::chrono::milliseconds(0)), c.ended)
        << "card may have changed: " << c.cardMayHaveChanged;
    if (closer.joinable()) closer.join();
    session.Close();
    session.Join();
    job.stopRequested = 0;
  }
  EXPECT_EQ(prompt.CloseAllCount(), 3u);
}

}  // namespace
}  // namespace cw
