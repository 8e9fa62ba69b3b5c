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
  // Settings and facts that jobs keep.
  job.panelSelected = 1;
  job.engineSelected = 0;
  job.skipBackup = 1;
  job.rootPath = "C:\\PROGRAM";
  job.dataPath = "C:\\DOCS\\BREVANT\\QUORVANE";
  job.versionBlock.formatVersion = 1;
  job.versionBlock.formatRevision = 9;
  job.versionBlock.generatorLetter = 'c';
  job.fwpVersion = 1009;
  job.diagnosticsText.Set("transcript of the first job\r\n");
}

void ExpectKeptFields(const JobContext& job, CLogToFile* log, Prompt* prompt) {
  EXPECT_EQ(job.panelSelected, 1);
  EXPECT_EQ(job.engineSelected, 0);
  EXPECT_EQ(job.skipBackup, 1);
  EXPECT_EQ(job.rootPath, "C:\\PROGRAM");
  EXPECT_EQ(job.dataPath, "C:\\DOCS\\BREVANT\\QUORVANE");
  EXPECT_EQ(job.versionBlock.formatVersion, 1);
  EXPECT_EQ(job.versionBlock.formatRevision, 9);
  EXPECT_EQ(job.versionBlock.generatorLetter, 'c');
  EXPECT_EQ(job.fwpVersion, 1009);
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
  job.flashPath = "E:";
  job.fwpPath = "";
  PrepareStoreJob(job);
  ExpectCommonStart(job);
  EXPECT_EQ(job.prepState, kPhaseRunning);
  EXPECT_EQ(job.verifyOnlyState, kPhaseIdle);
  EXPECT_EQ(job.flashPath, "E:");
  ExpectKeptFields(job, log, prompt);
}

// The request a job is given is the start values the front end filled in.
TEST(JobContextTest, TheRequestsAreMadeOfTheStartValues) {
  struct Case {
    int32_t engine, panel;
    TargetChoice target;
  };
  for (const Case& c : {Case{0, 0, TargetChoice::kNone}, Case{1, 0, TargetChoice::kEngine},
                        Case{0, 1, TargetChoice::kPanel}}) {
    JobContext job;
    Dirty(job);
    job.engineSelected = c.engine;
    job.panelSelected = c.panel;
    job.flashPath = "E:";
    job.fwpPath = "C:\\PKG\\A.FWP";
    job.restoreOnly = 1;
    job.backupsKept = 4;
    job.restoreBackupName = "2024-01-02";
    job.otherCardBackup = OtherCardBackup::kAllow;
    const StoreRequest store = StoreRequestOf(job);
    EXPECT_EQ(store.target, c.target);
    EXPECT_EQ(store.cardPath, "E:");
    EXPECT_EQ(store.packagePath, "C:\\PKG\\A.FWP");
    EXPECT_EQ(store.dataPath, "C:\\DOCS\\BREVANT\\QUORVANE");
    EXPECT_TRUE(store.backup.skip);
    EXPECT_TRUE(store.backup.restoreOnly);
    EXPECT_EQ(store.backup.kept, 4);
    EXPECT_EQ(store.backup.restoreName, "2024-01-02");
    EXPECT_EQ(store.backup.otherCard, OtherCardBackup::kAllow);
    const VerifyRequest verify = VerifyRequestOf(job);
    EXPECT_EQ(verify.target, c.target);
    EXPECT_EQ(verify.cardPath, "E:");
    EXPECT_TRUE(verify.UsesPackageFile());
  }
}

TEST(JobContextTest, VerifyJobStartValues) {
  JobContext job;
  Dirty(job);
  job.log = nullptr;
  job.prompt = nullptr;
  job.fwpPath = "C:\\PKG\\A.FWP";
  PrepareVerifyJob(job);
  ExpectCommonStart(job);
  EXPECT_EQ(job.prepState, kPhaseIdle);
  EXPECT_EQ(job.verifyOnlyState, kPhaseRunning);
  ExpectKeptFields(job, nullptr, nullptr);
}

TEST(JobContextTest, VerifyJobWithoutPackageUsesTheCardsReference) {
  JobContext job;
  job.fwpPath = "";
  EXPECT_FALSE(VerifyRequestOf(job).UsesPackageFile());
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
