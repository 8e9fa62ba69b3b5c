#include "job/job_io.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "job/job_values.h"
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
  int Run(const std::function<int()>& body) { return RunWorker(job_, body); }
  std::string LogText() { return scope_.fake.ReadFile(kLogPath); }

  FakePlatformScope scope_;
  CLogToFile log_;
  ScriptedPrompt prompt_;
  JobContext job_;
};

TEST_F(JobIoTest, FormatHandlesLongTexts) {
  EXPECT_EQ(Format("%d-%s", 7, "x"), "7-x");
  const std::string longText(1000, 'q');
  EXPECT_EQ(Format("<%s>", longText.c_str()), "<" + longText + ">");
}

TEST_F(JobIoTest, LogGoesToTheRunningJobsLogOnly) {
  Log("no job");
  LogF("no job %d", 1);
  EXPECT_FALSE(scope_.fake.Exists(kLogPath));
  Run([] {
    Log("Stage 1...");
    LogF("  located %s", "E:\\A.TXT");
    return 1;
  });
  const std::string text = LogText();
  EXPECT_NE(text.find(" - Stage 1...\r\n"), std::string::npos);
  EXPECT_NE(text.find(" -   located E:\\A.TXT\r\n"), std::string::npos);
  EXPECT_EQ(text.find("no job"), std::string::npos);
}

TEST_F(JobIoTest, LogWithoutALogDoesNothing) {
  job_.log = nullptr;
  EXPECT_EQ(Run([] {
              Log("dropped");
              return 1;
            }),
            1);
  EXPECT_FALSE(scope_.fake.Exists(kLogPath));
}

TEST_F(JobIoTest, MessagesGoThroughThePrompt) {
  EXPECT_EQ(ShowMessage("no job", MessageButtons::Ok, MessageIcon::None), MessageResult::Cancel);
  prompt_.QueueAnswer(MessageResult::Cancel);
  Run([] {
    EXPECT_EQ(ShowMessage("Continue?", MessageButtons::OkCancel, MessageIcon::Warning),
              MessageResult::Cancel);
    EXPECT_EQ(ShowMessage("Again?", MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Ok);
    EXPECT_EQ(ShowMessage("Note", MessageButtons::Ok, MessageIcon::Exclamation),
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
  Run([] {
    EXPECT_EQ(ShowMessage("Continue?", MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Cancel);
    return 1;
  });
}

TEST_F(JobIoTest, ShowAndRecordShowsThenAppendsToTranscript) {
  job_.diagnosticsText.Set("earlier\r\n");
  Run([] {
    ShowAndRecord("The card is not removable.", MessageIcon::Exclamation);
    return 0;
  });
  EXPECT_EQ(prompt_.messages(), std::vector<std::string>{"The card is not removable."});
  EXPECT_EQ(job_.diagnosticsText.Get(), "earlier\r\nThe card is not removable.");
}

TEST_F(JobIoTest, StatusProgressAndPhases) {
  Run([this] {
    SetStatus("Copying");
    SetProgressRange(0, 12);
    SetProgressPos(5);
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

TEST_F(JobIoTest, StopRequestEndsTheWorkerWithCodeFive) {
  job_.jobRunning = 1;
  int filesDone = 0;
  const int code = Run([&] {
    for (int i = 0; i < 10; ++i) {
      StopIfRequested();
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
              StopIfRequested();
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

TEST_F(JobIoTest, WorkerClearsJobRunningAndCurrentJobAfterANormalEnd) {
  job_.jobRunning = 1;
  EXPECT_EQ(Run([this] {
              EXPECT_EQ(currentJob, &job_);
              return 1;
            }),
            1);
  EXPECT_EQ(job_.jobRunning, 0);
  EXPECT_EQ(currentJob, nullptr);
}

}  // namespace
}  // namespace cw
