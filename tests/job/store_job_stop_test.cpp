// A store or verify-only job asked to stop, or meeting an error nobody handled: where it stops,
// what it does with the card, and what it tells. The prompts of the bench-test switch mark the
// moments: stage 10 (before the card changes), stage 17 (after it changed) and the restore.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "support/forwarding_platform.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "record/job_io.h"
#include "job/job_stop.h"
#include "job/jobs.h"
#include "package/package_writer.h"

namespace cw {
namespace {

using test::EngineRelease;

const std::string kPackage = "C:\\WORK\\PKG.FWP";
constexpr const char* kAtQuestion = "If you do not want files replaced click Cancel.";
constexpr const char* kAtStored = "Files have been stored.";
constexpr const char* kAtRestore = "A bad file store has caused a restore.";

// Runs an action when a message box whose text holds a marker is shown, then answers as scripted.
class ActingPrompt : public ScriptedPrompt {
 public:
  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override {
    const MessageResult answer = ScriptedPrompt::MessageBox(text, buttons, icon);
    for (auto& [marker, action] : actions)
      if (text.find(marker) != std::string::npos) action();
    return answer;
  }
  std::vector<std::pair<std::string, std::function<void()>>> actions;
};

class StoreStopTest : public test::JobFixture {
 protected:
  StoreStopTest() {
    ChooseForJob(kPackage);
    fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(EngineRelease("old", "old!")));
    fake.WriteFile("E:\\APP\\MAIN.BIN", "old");
    fake.WriteFile("E:\\APP\\LIB\\UTIL.DLL", "old!");
    fake.WriteFile(kPackage, BuildPackage(EngineRelease("new", "new!")));
    // The bench-test switch adds the prompts that mark each moment.
    request.cardPath = "E:BENCH_MODE_ON";
    job.prompt = &acting;
  }
  ~StoreStopTest() override { state.softwareTestMode = 0; }

  JobResult Run() {
    PrepareStoreJob(job);
    const JobResult code = DownloadAndVerifyJob(state, request);
    return code;
  }
  void At(const char* marker, std::function<void()> action) {
    acting.actions.emplace_back(marker, std::move(action));
  }
  void StopAt(const char* marker, int32_t requests) {
    At(marker, [this, requests] { job.stopRequested = requests; });
  }
  bool CardIsOld() const {
    return fake.ReadFile("E:\\APP\\MAIN.BIN") == "old" &&
           fake.ReadFile("E:\\APP\\LIB\\UTIL.DLL") == "old!";
  }

  ActingPrompt acting;
};

struct StopCase {
  const char* name;
  std::vector<std::pair<const char*, int32_t>> stops;  // marker, requests made by then
  bool skipBackup;
  StopOutcome outcome;
  bool cardOld;
  const char* logLine;
};

class StoreStopCases : public StoreStopTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StoreStopCases, StopsWhereAndAsItShould) {
  const StopCase& c = GetParam();
  for (const auto& [marker, requests] : c.stops) StopAt(marker, requests);
  request.backup.skip = c.skipBackup;
  const JobResult result = Run();
  EXPECT_EQ(result.outcome, JobOutcome::kStopped);
  EXPECT_EQ(result.stop, c.outcome);
  EXPECT_EQ(job.jobRunning.load(), 0);
  EXPECT_EQ(CardIsOld(), c.cardOld);
  EXPECT_TRUE(Logged(c.logLine)) << c.logLine;
  EXPECT_TRUE(Logged("  " + StopSummary(c.outcome)));
  EXPECT_NE(job.diagnosticsText.Get().find(StopSummary(c.outcome)), std::string::npos);
  EXPECT_EQ(job.statusText.Get(), StopSummary(c.outcome));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, StoreStopCases,
    ::testing::Values(
        StopCase{"AtTheQuestion", {{kAtQuestion, 1}}, false, kStoppedCardUnchanged, true,
                 "  the job was stopped by request at stage 10, before the card changed."},
        // The restore runs to its end although the one request is still standing.
        StopCase{"AfterTheCardChanged", {{kAtStored, 1}}, false, kStoppedRestored, true,
                 "  the job was stopped by request at stage 17, after the card had changed."},
        StopCase{"AfterTheCardChangedWithoutBackup", {{kAtStored, 1}}, true, kStoppedNoBackup,
                 false, "  the job was stopped by request at stage 17, after the card had changed."},
        // The restore's copies were made; its verification was stopped.
        StopCase{"ASecondRequestStopsTheRestore", {{kAtStored, 1}, {kAtRestore, 2}}, false,
                 kStoppedRestoreCut, true, "  the restore was stopped by request."}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// A stop during an Engine card's backup leaves its files as they were, and names the files whose
// read-only, hidden or system attribute the backup cleared (they stay cleared).
TEST_F(StoreStopTest, AStopDuringTheBackupNamesTheAttributesItCleared) {
  fake.WriteFile("E:\\APP\\MAIN.BIN", "old", kAttrHidden);
  fake.WriteFile("E:\\APP\\LIB\\UTIL.DLL", "old!", kAttrReadOnly);
  // Asks the job to stop as the backup makes its last copy.
  struct StopAtLastCopy : test::ForwardingPlatform {
    StopAtLastCopy(Platform& inner, JobContext& job) : ForwardingPlatform(inner), job(job) {}
    bool CopyFile(const std::string& source, const std::string& destination, bool failIfExists,
                  CopyWatcher* watcher) override {
      if (source == "E:\\APP\\LIB\\UTIL.DLL") job.stopRequested = 1;
      return ForwardingPlatform::CopyFile(source, destination, failIfExists, watcher);
    }
    JobContext& job;
  } platform(fake, job);
  JobState stopping(platform, job);
  PrepareStoreJob(job);
  const JobResult result = DownloadAndVerifyJob(stopping, request);
  EXPECT_EQ(result.outcome, JobOutcome::kStopped);
  EXPECT_EQ(result.stop, kStoppedCardUnchanged);
  EXPECT_TRUE(CardIsOld());
  const std::string said = job.statusText.Get();
  EXPECT_EQ(said.rfind("Stopped: the card's files are unchanged; the backup cleared the "
                       "read-only, hidden or system attribute of ", 0), 0u) << said;
  EXPECT_NE(said.find("E:\\APP\\MAIN.BIN"), std::string::npos) << said;
  EXPECT_NE(said.find("E:\\APP\\LIB\\UTIL.DLL"), std::string::npos) << said;
  EXPECT_NE(job.diagnosticsText.Get().find(said), std::string::npos);
}

TEST_F(StoreStopTest, StopsAndRestoresMarkTheirPhases) {
  StopAt(kAtStored, 1);
  EXPECT_EQ(Run().outcome, JobOutcome::kStopped);
  EXPECT_EQ(job.verifyState.load(), kPhaseFailed);  // the fail marks of the step it was in
  EXPECT_EQ(job.restoreState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseDone);
  EXPECT_EQ(job.cardMayHaveChanged.load(), 1);

  // Stopped before the card changed: nothing restored, nothing marked as restored.
  acting.actions.clear();
  StopAt(kAtQuestion, 1);
  EXPECT_EQ(Run().outcome, JobOutcome::kStopped);
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(job.cardMayHaveChanged.load(), 0);
  EXPECT_FALSE(Logged("  the restore was stopped by request."));
}

TEST_F(StoreStopTest, AFirstRequestDoesNotCutTheRestoreOfAFailure) {
  fake.FailCall("OpenFile", kErrAccessDenied, 1, "E:\\FWPVers.bin");
  StopAt(kAtRestore, 1);
  const JobResult failed = Run();
  EXPECT_EQ(failed.outcome, JobOutcome::kFailed);  // the failed store's own end, its restore complete
  EXPECT_TRUE(CardIsOld());
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseDone);
  EXPECT_EQ(failed.stop, kNotStopped);
  // A second request does.
  PrepareStoreJob(job);
  acting.actions.clear();
  fake.FailCall("OpenFile", kErrAccessDenied, 1, "E:\\FWPVers.bin");
  StopAt(kAtRestore, 2);
  const JobResult cut = Run();
  EXPECT_EQ(cut.outcome, JobOutcome::kStopped);
  EXPECT_EQ(cut.stop, kStoppedRestoreCut);
}

// A second request made before the restore began is the restore's own stop: it lands between
// two of the restore's files, and the message says how many were back.
TEST_F(StoreStopTest, TwoRequestsBeforeTheRestoreStopItAtItsFirstFile) {
  StopAt(kAtStored, 2);
  const JobResult result = Run();
  EXPECT_EQ(result.outcome, JobOutcome::kStopped);
  EXPECT_EQ(result.stop, kStoppedRestoreCut);
  EXPECT_FALSE(CardIsOld());
  // Nothing of the restore happened: the files stand as the store left them, none emptied.
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new");
  const std::string told = StopSummary(kStoppedRestoreCut) + " 0 of 3 files had been put back.";
  EXPECT_EQ(job.statusText.Get(), told);
  EXPECT_NE(job.diagnosticsText.Get().find(told), std::string::npos);
}

// An empty card has no backup to put back: a stop after the card changed says so.
TEST_F(StoreStopTest, AStopOnAnEmptyCardSaysThereWasNoBackup) {
  fake.RemoveTree("E:\\");
  // An empty card is of no known kind: the target is chosen.
  request.target = TargetChoice::kEngine;
  StopAt(kAtStored, 1);
  const JobResult result = Run();
  EXPECT_EQ(result.outcome, JobOutcome::kStopped) << job.diagnosticsText.Get();
  EXPECT_EQ(result.stop, kStoppedNoBackup) << job.diagnosticsText.Get();
}

struct ErrorCase {
  const char* name;
  const char* marker;
  std::function<void()> raise;
  const char* named;
  bool restored;
};

class StoreErrorCases : public StoreStopTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(StoreErrorCases, AnUnexpectedErrorFailsTheJobAndRestoresAChangedCard) {
  const ErrorCase& c = GetParam();
  At(c.marker, c.raise);
  // Before the card changed it is a refusal; after, a failure (and the card restored).
  const JobResult result = Run();
  EXPECT_EQ(result.outcome, c.restored ? JobOutcome::kFailed : JobOutcome::kRefused);
  EXPECT_EQ(result.cardChanged, c.restored);
  EXPECT_EQ(result.check, Verdict::kFailed);
  EXPECT_EQ(result.restore, c.restored ? Verdict::kPassed : Verdict::kNone);
  const std::string message = std::string("The job ended by an unexpected error: ") + c.named + "\r\n";
  EXPECT_TRUE(acting.Contains(message)) << message;
  EXPECT_NE(job.diagnosticsText.Get().find(message), std::string::npos);
  EXPECT_TRUE(CardIsOld());
  EXPECT_EQ(job.restoreVerifyState.load(), c.restored ? kPhaseDone : kPhaseIdle);
  // The step it was in carries the failure marks.
  EXPECT_TRUE(job.prepState == kPhaseFailed || job.storeState == kPhaseFailed ||
              job.verifyState == kPhaseFailed);
  EXPECT_EQ(job.jobRunning.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, StoreErrorCases,
    ::testing::Values(
        ErrorCase{"BeforeTheCardChanged", kAtQuestion,
                  [] { throw std::runtime_error("the prompt broke"); }, "the prompt broke", false},
        ErrorCase{"MemoryExhaustedAfterTheCardChanged", kAtStored,
                  [] { throw std::bad_alloc(); }, "memory exhausted", true}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(StopSummaryTest, EveryOutcomeHasItsText) {
  EXPECT_EQ(StopSummary(kNotStopped), "");
  EXPECT_EQ(StopSummary(kStoppedCardUnchanged), "Stopped: the card was not changed.");
  for (int32_t outcome = kStoppedRestored; outcome <= kStoppedVerify; ++outcome) {
    const std::string text = StopSummary(outcome);
    EXPECT_EQ(text.rfind("Stopped", 0), 0u) << outcome;
  }
  EXPECT_NE(StopSummary(kStoppedRestored).find("Restore OK!!"), std::string::npos);
  EXPECT_NE(StopSummary(kStoppedNoBackup).find("half-written"), std::string::npos);
}

}  // namespace
}  // namespace cw
