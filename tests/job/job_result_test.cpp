// A store job's result is made from what its restore returned, not from the phases it showed.

#include <gtest/gtest.h>

#include <optional>

#include "job/job_result.h"
#include "support/job_fixture.h"

namespace cw {
namespace {

struct RestoreCase {
  const char* name;
  bool restoreOnly;
  bool ran;
  std::optional<RestoreOutcome> restored;
  int32_t backupFiles;
  int exitCode;
  JobOutcome outcome;
  Verdict restore;
  bool nothingToRestore;
};

TEST(JobResultTest, TheRestoreVerdictIsWhatTheRestoreReturned) {
  const RestoreCase cases[] = {
      {"restore only, verified", true, true, RestoreOutcome::kVerified, 3, 1,
       JobOutcome::kPassed, Verdict::kPassed, false},
      {"restore only, empty folder", true, true, RestoreOutcome::kVerified, 0, 1,
       JobOutcome::kFailed, Verdict::kPassed, true},
      {"restore only, not verified", true, true, RestoreOutcome::kFailed, 3, 1,
       JobOutcome::kFailed, Verdict::kFailed, false},
      {"restore only, not possible", true, true, RestoreOutcome::kNotPossible, 3, 1,
       JobOutcome::kFailed, Verdict::kFailed, false},
      {"restore only, card replaced", true, true, std::nullopt, 3, kExitCardReplaced,
       JobOutcome::kCardReplaced, Verdict::kNone, false},
      {"store restored after a failure", false, true, RestoreOutcome::kVerified, 3, 0,
       JobOutcome::kFailed, Verdict::kPassed, false},
      {"store without a restore", false, false, std::nullopt, 3, 0, JobOutcome::kRefused,
       Verdict::kNone, false},
  };
  for (const RestoreCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::JobScope scope;
    scope.state.restoreRan = c.ran;
    scope.state.restoreOutcome = c.restored;
    scope.state.backupFileCount = c.backupFiles;
    StoreRequest request;
    request.backup.restoreOnly = c.restoreOnly;
    const JobResult result = StoreJobResult(scope.state, request, c.exitCode);
    EXPECT_EQ(result.kind, c.restoreOnly ? JobKind::kRestoreOnly : JobKind::kStore);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.restore, c.restore);
    EXPECT_EQ(result.nothingToRestore, c.nothingToRestore);
    EXPECT_EQ(result.cardChanged, c.ran);
  }
}

// The check mark and the outcome follow the step the job reached and whether it failed there.
TEST(JobResultTest, TheCheckVerdictIsTheStepTheJobReached) {
  using Step = JobState::StoreStep;
  struct Case {
    const char* name;
    bool verifyOnly;
    Step step;  // the verify-only job: kVerifying once it reads the card
    bool failed;
    int exitCode;
    Verdict check;
    JobOutcome outcome;
  };
  const Case cases[] = {
      {"refused in its checks", false, Step::kChecks, false, 0, Verdict::kNone,
       JobOutcome::kRefused},
      {"its backup failed", false, Step::kChecks, true, 0, Verdict::kFailed, JobOutcome::kRefused},
      {"its writing failed", false, Step::kWriting, true, 0, Verdict::kFailed, JobOutcome::kFailed},
      {"stopped in its verification", false, Step::kVerifying, false, kExitStopped, Verdict::kNone,
       JobOutcome::kStopped},
      {"verified", false, Step::kVerified, false, 1, Verdict::kPassed, JobOutcome::kPassed},
      {"verify-only, no reference", true, Step::kChecks, false, 0, Verdict::kNone,
       JobOutcome::kRefused},
      {"verify-only, a file failed", true, Step::kVerifying, false, 0, Verdict::kFailed,
       JobOutcome::kFailed},
      {"verify-only, stopped", true, Step::kVerifying, false, kExitStopped, Verdict::kNone,
       JobOutcome::kStopped},
      {"verify-only, every file matched", true, Step::kVerifying, false, kExitVerified,
       Verdict::kPassed, JobOutcome::kPassed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::JobScope scope;
    scope.state.storeStep = c.step;
    scope.state.storeStepFailed = c.failed;
    const JobResult result =
        c.verifyOnly ? VerifyJobResult(scope.state, c.exitCode, c.step == Step::kVerifying)
                     : StoreJobResult(scope.state, StoreRequest{}, c.exitCode);
    EXPECT_EQ(result.check, c.check);
    EXPECT_EQ(result.outcome, c.outcome);
  }
}

}  // namespace
}  // namespace cw
