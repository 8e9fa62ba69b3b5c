#pragma once
// One store job ("Store and Verify") on an in-memory card behind the fault-injecting platform,
// and the promise every run must keep, whatever fails when:
//   - a job that reports success (its result passed, "Done!") leaves a card that holds every file of
//     the package, each with the package's CRC;
//   - a job that reports "Restore OK!!" leaves every old file with its old content;
//   - any other end is reported as a failure (not "Done!", a failure text in the transcript);
//   - no file that was on the card is lost without its copy in the backup folder;
// and, after every run, a "Restore Only" job on the same PC and card (the fault gone, the card
// back in the reader) puts every file that was on the card before the store back, byte for
// byte, or refuses and changes nothing. Every run starts with another card's complete backups
// in the kind's folder and its history: none of their files may land on this card, and the
// two newest must stay whole.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "faults/fault_platform.h"
#include "package/package_writer.h"
#include "record/job_result.h"
#include "support/fake_platform.h"

namespace cw::test {

using Tree = std::map<std::string, std::string>;  // upper-cased Windows path -> content

struct StoreScenario {
  std::string name{};
  int target = 1;  // 1 Engine, 2 Panel 3940
  PackageSpec package{};
  Tree oldCard{};                       // card path ("APP\\MAIN.BIN") -> content
  std::vector<std::string> readOnly{};  // card paths that carry the read-only attribute
};

StoreScenario EngineScenario();
StoreScenario Engine3950Scenario();  // with 3950 support: the split stored copies
StoreScenario PanelScenario();

enum class Ending { kSucceeded, kRestored, kFailed };

struct StoreOutcome {
  JobResult result;
  Ending ending = Ending::kFailed;
  std::string status, transcript;
  std::vector<std::string> messages;
  Tree card, backup;  // after the job, below E:\ and below the backup folder
  bool fired = false;
  std::string firedAt;
  int counts[kFaultKinds] = {};
  int cardOperations = 0;
  // The "Restore Only" job that follows the store.
  std::string restoreOnlyStatus, restoreOnlyTranscript;
  bool restoreOnlyVerified = false;  // restoreVerifyState Done
  Tree cardAfterRestoreOnly;
  // The other card's complete backups (checked against their manifests) after both jobs.
  int otherCardBackups = 0;
};

// Runs the scenario's store job from a fresh machine, then a "Restore Only" job without
// faults; `plan` arms the faults before the store starts.
StoreOutcome RunStore(const StoreScenario& scenario,
                      const std::function<void(FaultPlatform&)>& plan = {});

// Files on the card after the run that were not on it before (after "Restore OK!!": what the
// failed store left behind; the restore puts old files back but removes nothing).
std::vector<std::string> NewFiles(const StoreScenario& scenario, const StoreOutcome& outcome);

// The broken promises of one run; empty when it kept them all.
std::vector<std::string> BrokenPromises(const StoreScenario& scenario,
                                        const StoreOutcome& outcome);

// The broken promises of the "Restore Only" job after the store; empty when it kept them.
std::vector<std::string> BrokenAfterRestoreOnly(const StoreScenario& scenario,
                                                const StoreOutcome& outcome);

}  // namespace cw::test
