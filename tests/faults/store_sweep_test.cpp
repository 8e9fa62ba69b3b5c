// The store job swept over every fault it can meet: for each scenario, the k-th operation of
// each kind fails (for every k the fault-free run reaches), and the card is pulled before each
// of its operations in turn. Every run must keep the promises of BrokenPromises.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "faults/store_run.h"

namespace cw::test {
namespace {

struct Tally {
  int runs = 0, succeeded = 0, restored = 0, failed = 0, restoredWithNewFiles = 0;
  // The "Restore Only" job after each run: restored and verified; refused, card unchanged;
  // every old file put back but the card not verified.
  int restoreOnlyOk = 0, restoreOnlyRefused = 0, restoreOnlyUnverified = 0;
  void Add(const StoreScenario& scenario, const StoreOutcome& out) {
    ++runs;
    (out.restoreOnlyVerified                   ? restoreOnlyOk
     : out.cardAfterRestoreOnly == out.card ? restoreOnlyRefused
                                            : restoreOnlyUnverified)++;
    if (out.ending == Ending::kRestored && !NewFiles(scenario, out).empty()) ++restoredWithNewFiles;
    (out.ending == Ending::kSucceeded ? succeeded
     : out.ending == Ending::kRestored ? restored
                                       : failed)++;
  }
};

class StoreSweep : public ::testing::TestWithParam<StoreScenario (*)()> {
 protected:
  void Expect(const StoreScenario& scenario, const StoreOutcome& out, const std::string& what) {
    tally_.Add(scenario, out);
    if (std::getenv("CARDWRIGHT_SWEEP_VERBOSE")) {
      static const char* const kEndings[] = {"succeeded", "restored", "failed"};
      std::string added;
      for (const std::string& path : NewFiles(scenario, out)) added += " " + path;
      std::printf("  %s | %s | %s | %s | %s |%s\n", what.c_str(), out.firedAt.c_str(),
                  kEndings[static_cast<int>(out.ending)], OutcomeName(out.result.outcome),
                  out.status.c_str(),
                  added.c_str());
    }
    EXPECT_TRUE(out.fired) << what << ": the planned fault never happened";
    std::vector<std::string> problems = BrokenPromises(scenario, out);
    for (const std::string& problem : BrokenAfterRestoreOnly(scenario, out))
      problems.push_back(problem + " (Restore Only: \"" + out.restoreOnlyStatus + "\")");
    for (const std::string& problem : problems) {
      ADD_FAILURE() << scenario.name << ", " << what << " (" << out.firedAt << "): " << problem
                    << "\n  " << OutcomeName(out.result.outcome) << ", status \"" << out.status << "\"";
    }
  }
  void Report(const StoreScenario& scenario, const char* sweep) {
    std::printf(
        "[ figures  ] %s, %s: %d runs, %d succeeded, %d restored (%d with files of the failed "
        "store left), %d failed and said so; Restore Only afterwards: %d restored and verified, "
        "%d refused or found nothing to do and changed nothing, %d put every old file back but "
        "did not verify\n",
        scenario.name.c_str(), sweep, tally_.runs, tally_.succeeded, tally_.restored,
        tally_.restoredWithNewFiles, tally_.failed, tally_.restoreOnlyOk,
        tally_.restoreOnlyRefused, tally_.restoreOnlyUnverified);
    RecordProperty("runs", tally_.runs);
  }
  Tally tally_;
};

TEST_P(StoreSweep, FaultFreeRunSucceedsAndKeepsThePromises) {
  const StoreScenario scenario = GetParam()();
  const StoreOutcome out = RunStore(scenario);
  EXPECT_EQ(out.result.outcome, JobOutcome::kPassed);
  EXPECT_EQ(out.ending, Ending::kSucceeded) << out.status << "\n" << out.transcript;
  EXPECT_EQ(BrokenPromises(scenario, out), std::vector<std::string>{});
  // The backup the store made puts the old card back over the new one (changed, so every old
  // file is back).
  EXPECT_NE(out.cardAfterRestoreOnly, out.card) << out.restoreOnlyTranscript;
  EXPECT_EQ(BrokenAfterRestoreOnly(scenario, out), std::vector<std::string>{});
}

TEST_P(StoreSweep, EveryOperationOfEveryKindFailingInTurn) {
  const StoreScenario scenario = GetParam()();
  const StoreOutcome clean = RunStore(scenario);
  ASSERT_EQ(clean.ending, Ending::kSucceeded);
  for (Fault fault : kAllFaults) {
    for (int k = 1; k <= clean.counts[static_cast<int>(fault)]; ++k) {
      const StoreOutcome out =
          RunStore(scenario, [fault, k](FaultPlatform& p) { p.FailNth(fault, k); });
      Expect(scenario, out, std::string(FaultName(fault)) + " #" + std::to_string(k));
    }
  }
  Report(scenario, "failing operations");
}

TEST_P(StoreSweep, CardPulledBeforeEachOfItsOperations) {
  const StoreScenario scenario = GetParam()();
  const StoreOutcome clean = RunStore(scenario);
  ASSERT_EQ(clean.ending, Ending::kSucceeded);
  for (int k = 1; k <= clean.cardOperations; ++k) {
    const StoreOutcome out = RunStore(scenario, [k](FaultPlatform& p) { p.PullCardAt(k); });
    Expect(scenario, out, "card pulled at operation " + std::to_string(k));
  }
  Report(scenario, "card pulled");
}

std::string ScenarioName(const ::testing::TestParamInfo<StoreSweep::ParamType>& info) {
  static const char* const kNames[] = {"Engine", "Engine3950", "Panel3940"};
  return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(Scenarios, StoreSweep,
                         ::testing::Values(&EngineScenario, &Engine3950Scenario, &PanelScenario),
                         ScenarioName);

}  // namespace
}  // namespace cw::test
