#include "record/job_io.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "record/job_state.h"
#include "support/job_fixture.h"

namespace cw {
namespace {

using test::kLogPath;

class JobIoTest : public test::JobFixture {
 protected:
  // Runs `body` as the running job's worker.
  int Run(const std::function<int()>& body) { return RunWorker(state, body); }
  std::string LogText() { return fake.ReadFile(kLogPath); }
};

TEST_F(JobIoTest, FormatHandlesLongTexts) {
  EXPECT_EQ(Format("%d-%s", 7, "x"), "7-x");
  const std::string longText(1000, 'q');
  EXPECT_EQ(Format("<%s>", longText.c_str()), "<" + longText + ">");
}

TEST_F(JobIoTest, LogGoesToTheRunningJobsLogOnly) {
  JobContext other;  // another job, without a log
  JobState none(fake, other);
  none.Log("no job");
  none.LogF("no job %d", 1);
  EXPECT_FALSE(fake.Exists(kLogPath));
  Run([this] {
    state.Log("Stage 1...");
    state.LogF("  located %s", "E:\\A.TXT");
    return 1;
  });
  const std::string text = LogText();
  EXPECT_NE(text.find(" - Stage 1...\r\n"), std::string::npos);
  EXPECT_NE(text.find(" -   located E:\\A.TXT\r\n"), std::string::npos);
  EXPECT_EQ(text.find("no job"), std::string::npos);
}

TEST_F(JobIoTest, LogWithoutALogDoesNothing) {
  job.log = nullptr;
  EXPECT_EQ(Run([this] {
              state.Log("dropped");
              return 1;
            }),
            1);
  EXPECT_FALSE(fake.Exists(kLogPath));
}

TEST_F(JobIoTest, MessagesGoThroughThePrompt) {
  JobContext other;  // another job, without a prompt
  EXPECT_EQ(JobState(fake, other).ShowMessage("no job", MessageButtons::Ok, MessageIcon::None),
            MessageResult::Cancel);
  prompt.QueueAnswer(MessageResult::Cancel);
  Run([this] {
    EXPECT_EQ(state.ShowMessage("Continue?", MessageButtons::OkCancel, MessageIcon::Warning),
              MessageResult::Cancel);
    EXPECT_EQ(state.ShowMessage("Again?", MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Ok);
    EXPECT_EQ(state.ShowMessage("Note", MessageButtons::Ok, MessageIcon::Exclamation),
              MessageResult::Ok);
    return 1;
  });
  const auto calls = prompt.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].text, "Continue?");
  EXPECT_EQ(calls[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(calls[0].icon, MessageIcon::Warning);
  EXPECT_EQ(calls[2].icon, MessageIcon::Exclamation);
  EXPECT_FALSE(prompt.Contains("no job"));
}

TEST_F(JobIoTest, WithoutAPromptEveryBoxIsCancel) {
  job.prompt = nullptr;
  Run([this] {
    EXPECT_EQ(state.ShowMessage("Continue?", MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Cancel);
    return 1;
  });
}

TEST_F(JobIoTest, ShowAndRecordShowsThenAppendsToTranscript) {
  job.diagnosticsText.Set("earlier\r\n");
  Run([this] {
    state.ShowAndRecord("The card is not removable.", MessageIcon::Exclamation);
    return 0;
  });
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"The card is not removable."});
  EXPECT_EQ(job.diagnosticsText.Get(), "earlier\r\nThe card is not removable.");
}

TEST_F(JobIoTest, StatusProgressAndPhases) {
  Run([this] {
    state.SetStatus("Copying");
    state.SetProgressRange(0, 12);
    state.SetProgressPos(5);
    state.SetPhase(JobPhase::kStore, kPhaseDone);
    return 1;
  });
  EXPECT_EQ(job.statusText.Get(), "Copying");
  EXPECT_EQ(job.progressRangeChanged, 1);
  EXPECT_EQ(job.progressMin, 0);
  EXPECT_EQ(job.progressMax, 12);
  EXPECT_EQ(job.progressPos, 5);
  EXPECT_EQ(job.storeState, kPhaseDone);
}

TEST_F(JobIoTest, WaitUsesThePlatformsSleep) {
  Wait(fake, 50);
  Wait(fake, 1000);
  EXPECT_EQ(fake.SleepCount(), 2u);
  EXPECT_EQ(fake.SleptMs(), 1050u);
}

TEST_F(JobIoTest, StopRequestEndsTheWorkerWithCodeFive) {
  job.jobRunning = 1;
  int filesDone = 0;
  const int code = Run([&] {
    for (int i = 0; i < 10; ++i) {
      state.StopIfRequested();
      if (++filesDone == 3) job.stopRequested = 1;
    }
    return 1;
  });
  EXPECT_EQ(code, kExitStopped);
  EXPECT_EQ(filesDone, 3);
  EXPECT_EQ(job.jobRunning, 0);
}

TEST_F(JobIoTest, StopIfRequestedDoesNothingWithoutARequest) {
  job.jobRunning = 1;
  EXPECT_EQ(Run([this] {
              state.StopIfRequested();
              return job.jobRunning.load() + 10;
            }),
            11);
}

TEST_F(JobIoTest, ThrownJobStoppedBecomesCodeFive) {
  job.jobRunning = 1;
  EXPECT_EQ(Run([]() -> int { throw JobStopped{}; }), 5);
  EXPECT_EQ(job.jobRunning, 0);
}

TEST_F(JobIoTest, UnexpectedErrorEndsTheJobAsFailed) {
  job.jobRunning = 1;
  EXPECT_EQ(Run([]() -> int { throw std::runtime_error("boom"); }), 0);
  EXPECT_EQ(job.jobRunning, 0);
  EXPECT_NE(job.diagnosticsText.Get().find("boom"), std::string::npos);
  EXPECT_NE(LogText().find("boom"), std::string::npos);
  job.jobRunning = 1;
  EXPECT_EQ(Run([]() -> int { throw 42; }), 0);
  EXPECT_EQ(job.jobRunning, 0);
}

TEST_F(JobIoTest, WorkerStartsAtTheFirstStopLevelAndClearsJobRunningAfterANormalEnd) {
  job.jobRunning = 1;
  state.stopLevel = 3;  // left over from a restore of an earlier body
  EXPECT_EQ(Run([this] {
              EXPECT_EQ(state.stopLevel, 1);
              return 1;
            }),
            1);
  EXPECT_EQ(job.jobRunning, 0);
}

}  // namespace
}  // namespace cw
