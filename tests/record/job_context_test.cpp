#include "record/job_context.h"

#include <gtest/gtest.h>

#include <thread>

#include "log/log_to_file.h"
#include "support/fake_platform.h"
#include "support/scripted_prompt.h"

namespace cw {
namespace {

// A context as a previous job leaves it: every field away from its start value.
void Dirty(JobContext& job) {
  job.statusText.Set("old status");
  job.stopRequested = 1;
  job.jobRunning = 0;
  job.progressRangeChanged = 1;
  job.progressMin = 3;
  job.progressMax = 99;
  job.progressPos = 42;
  for (auto* phase : {&job.prepState, &job.storeState, &job.restoreState, &job.verifyOnlyState,
                      &job.verifyState, &job.restoreVerifyState})
    *phase = kPhaseFailed;
  // What jobs keep.
  job.diagnosticsText.Set("transcript of the first job\r\n");
}

void ExpectKeptFields(const JobContext& job, CLogToFile* log, Prompt* prompt) {
  EXPECT_EQ(job.diagnosticsText.Get(), "transcript of the first job\r\n");
  EXPECT_EQ(job.log, log);
  EXPECT_EQ(job.prompt, prompt);
}

void ExpectCommonStart(const JobContext& job) {
  EXPECT_EQ(job.statusText.Get(), "");
  EXPECT_EQ(job.stopRequested, 0);
  EXPECT_EQ(job.jobRunning, 1);
  EXPECT_EQ(job.progressRangeChanged, 0);
  EXPECT_EQ(job.progressMin, 0);
  EXPECT_EQ(job.progressMax, 0);
  EXPECT_EQ(job.progressPos, 0);
  EXPECT_EQ(job.storeState, kPhaseIdle);
  EXPECT_EQ(job.restoreState, kPhaseIdle);
  EXPECT_EQ(job.verifyState, kPhaseIdle);
  EXPECT_EQ(job.restoreVerifyState, kPhaseIdle);
}

TEST(JobContextTest, StoreJobStartValues) {
  JobContext job;
  Dirty(job);
  FakePlatform platform;
  CLogToFile logObject(platform);
  ScriptedPrompt promptObject;
  CLogToFile* log = &logObject;
  Prompt* prompt = &promptObject;
  job.log = log;
  job.prompt = prompt;
  PrepareStoreJob(job);
  ExpectCommonStart(job);
  EXPECT_EQ(job.prepState, kPhaseRunning);
  EXPECT_EQ(job.verifyOnlyState, kPhaseIdle);
  ExpectKeptFields(job, log, prompt);
}

TEST(JobContextTest, VerifyJobStartValues) {
  JobContext job;
  Dirty(job);
  job.log = nullptr;
  job.prompt = nullptr;
  PrepareVerifyJob(job);
  ExpectCommonStart(job);
  EXPECT_EQ(job.prepState, kPhaseIdle);
  EXPECT_EQ(job.verifyOnlyState, kPhaseRunning);
  ExpectKeptFields(job, nullptr, nullptr);
}

TEST(JobContextTest, FreshContextIsIdle) {
  JobContext job;
  EXPECT_EQ(job.jobRunning, 0);
  EXPECT_EQ(job.statusText.Get(), "");
  EXPECT_EQ(job.log, nullptr);
}

TEST(GuardedTextTest, SetAppendGet) {
  GuardedText text;
  text.Append("a");
  text.Append("bc");
  EXPECT_EQ(text.Get(), "abc");
  text.Set("x");
  EXPECT_EQ(text.Get(), "x");
}

TEST(GuardedTextTest, ConcurrentAppendsLoseNothing) {
  GuardedText text;
  auto writer = [&text] {
    for (int i = 0; i < 2000; ++i) text.Append("0123456789");
  };
  std::thread a(writer), b(writer);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(text.Get().size() % 10, 0u);
  a.join();
  b.join();
  EXPECT_EQ(text.Get().size(), 40000u);
}

}  // namespace
}  // namespace cw
