#include "record/job_io.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "record/job_state.h"
#include "log/log_to_file.h"
#include "support/fake_platform.h"
#include "support/scripted_prompt.h"

namespace cw {
namespace {

constexpr const char* kLogPath = "C:\\DATA\\fwp_downloader.log";

class JobIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scope_.fake.AddFolder("C:\\DATA");
    log_.SetLogFile(kLogPath);
    log_.SetEnabled(true);
    job_.log = &log_;
    job_.prompt = &prompt_;
  }
  // Runs `body` as the running job's worker.
  int Run(const std::function<int()>& body) { return RunWorker(state_, body); }
  std::string LogText() { return scope_.fake.ReadFile(kLogPath); }

  FakePlatformScope scope_;
  CLogToFile log_;
  ScriptedPrompt prompt_;
  JobContext job_;
  JobState state_{job_};
};

TEST_F(JobIoTest, FormatHandlesLongTexts) {
  EXPECT_EQ(Format("%d-%s", 7, "x"), "7-x");
  const std::string longText(1000, 'q');
  EXPECT_EQ(Format("<%s>", longText.c_str()), "<" + longText + ">");
}

TEST_F(JobIoTest, LogGoesToTheRunningJobsLogOnly) {
  JobContext other;  // another job, without a log
  JobState none(other);
  none.Log("no job");
  none.LogF("no job %d", 1);
  EXPECT_FALSE(scope_.fake.Exists(kLogPath));
  Run([this] {
    state_.Log("Stage 1...");
    state_.LogF("  located %s", "E:\\A.TXT");
    return 1;
  });
  const std::string text = LogText();
  EXPECT_NE(text.find(" - Stage 1...\r\n"), std::string::npos);
  EXPECT_NE(text.find(" -   located E:\\A.TXT\r\n"), std::string::npos);
  EXPECT_EQ(text.find("no job"), std::string::npos);
}

TEST_F(JobIoTest, LogWithoutALogDoesNothing) {
  job_.log = nullptr;
  EXPECT_EQ(Run([this] {
              state_.Log("dropped");
              return 1;
            }),
            1);
  EXPECT_FALSE(scope_.fake.Exists(kLogPath));
}

TEST_F(JobIoTest, MessagesGoThroughThePrompt) {
  JobContext other;  // another job, without a prompt
  EXPECT_EQ(JobState(other).ShowMessage("no job", MessageButtons::Ok, MessageIcon::None),
            MessageResult::Cancel);
  prompt_.QueueAnswer(MessageResult::Cancel);
  Run([this] {
    EXPECT_EQ(state_.ShowMessage("Continue?", MessageButtons::OkCancel, MessageIcon::Warning),
              MessageResult::Cancel);
    EXPECT_EQ(state_.ShowMessage("Again?", MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Ok);
    EXPECT_EQ(state_.ShowMessage("Note", MessageButtons::Ok, MessageIcon::Exclamation),
              MessageResult::Ok);
    return 1;
  });
  const auto calls = prompt_.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].text, "Continue?");
  EXPECT_EQ(calls[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(calls[0].icon, MessageIcon::Warning);
  EXPECT_EQ(calls[2].icon, MessageIcon::Exclamation);
  EXPECT_FALSE(prompt_.Contains("no job"));
}

TEST_F(JobIoTest, WithoutAPromptEveryBoxIsCancel) {
  job_.prompt = nullptr;
  Run([this] {
    EXPECT_EQ(state_.ShowMessage("Continue?", MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Cancel);
    return 1;
  });
}

TEST_F(JobIoTest, ShowAndRecordShowsThenAppendsToTranscript) {
  job_.diagnosticsText.Set("earlier\r\n");
  Run([this] {
    state_.ShowAndRecord("The card is not removable.", MessageIcon::Exclamation);
    return 0;
  });
  EXPECT_EQ(prompt_.messages(), std::vector<std::string>{"The card is not removable."});
  EXPECT_EQ(job_.diagnosticsText.Get(), "earlier\r\nThe card is not removable.");
}

TEST_F(JobIoTest, StatusProgressAndPhases) {
  Run([this] {
    state_.SetStatus("Copying");
    state_.SetProgressRange(0, 12);
    state_.SetProgressPos(5);
    SetPhase(job_.storeState, kPhaseDone);
    return 1;
  });
  EXPECT_EQ(job_.statusText.Get(), "Copying");
  EXPECT_EQ(job_.progressRangeChanged, 1);
  EXPECT_EQ(job_.progressMin, 0);
  EXPECT_EQ(job_.progressMax, 12);
  EXPECT_EQ(job_.progressPos, 5);
  EXPECT_EQ(job_.storeState, kPhaseDone);
}

TEST_F(JobIoTest, WaitUsesThePlatformsSleep) {
  Wait(50);
  Wait(1000);
  EXPECT_EQ(scope_.fake.SleepCount(), 2u);
  EXPECT_EQ(scope_.fake.SleptMs(), 1050u);
}

TEST_F(JobIoTest, PhaseWaitsOnlyWhenTheFrontEndAsks) {
  state_.PhaseWait(kPhaseWaitMs);
  state_.PhaseWait(kEndWaitMs);
  EXPECT_EQ(scope_.fake.SleepCount(), 0u);
  job_.phaseWaits = 1;
  state_.PhaseWait(kPhaseWaitMs);
  state_.PhaseWait(kEndWaitMs);
  EXPECT_EQ(scope_.fake.SleepCount(), 2u);
  EXPECT_EQ(scope_.fake.SleptMs(), 1050u);
}

TEST_F(JobIoTest, StopRequestEndsTheWorkerWithCodeFive) {
  job_.jobRunning = 1;
  int filesDone = 0;
  const int code = Run([&] {
    for (int i = 0; i < 10; ++i) {
      state_.StopIfRequested();
      if (++filesDone == 3) job_.stopRequested = 1;
    }
    return 1;
  });
  EXPECT_EQ(code, kExitStopped);
  EXPECT_EQ(filesDone, 3);
  EXPECT_EQ(job_.jobRunning, 0);
}

TEST_F(JobIoTest, StopIfRequestedDoesNothingWithoutARequest) {
  job_.jobRunning = 1;
  EXPECT_EQ(Run([this] {
              state_.StopIfRequested();
              return job_.jobRunning.load() + 10;
            }),
            11);
}

TEST_F(JobIoTest, ThrownJobStoppedBecomesCodeFive) {
  job_.jobRunning = 1;
  EXPECT_EQ(Run([]() -> int { throw JobStopped{}; }), 5);
  EXPECT_EQ(job_.jobRunning, 0);
}

TEST_F(JobIoTest, UnexpectedErrorEndsTheJobAsFailed) {
  job_.jobRunning = 1;
  EXPECT_EQ(Run([]() -> int { throw std::runtime_error("boom"); }), 0);
  EXPECT_EQ(job_.jobRunning, 0);
  EXPECT_NE(job_.diagnosticsText.Get().find("boom"), std::string::npos);
  EXPECT_NE(LogText().find("boom"), std::string::npos);
  job_.jobRunning = 1;
  EXPECT_EQ(Run([]() -> int { throw 42; }), 0);
  EXPECT_EQ(job_.jobRunning, 0);
}

TEST_F(JobIoTest, WorkerStartsAtTheFirstStopLevelAndClearsJobRunningAfterANormalEnd) {
  job_.jobRunning = 1;
  state_.stopLevel = 3;  // left over from a restore of an earlier body
  EXPECT_EQ(Run([this] {
              EXPECT_EQ(state_.stopLevel, 1);
              return 1;
            }),
            1);
  EXPECT_EQ(job_.jobRunning, 0);
}

}  // namespace
}  // namespace cw
