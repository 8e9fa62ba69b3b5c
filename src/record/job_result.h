#pragma once
// How a job ended, as the job itself knows it: the one answer both front ends read for their
// exit status, their --json outcome and the window's marks, instead of working it out again
// from the phases they watched.

#include <cstdint>
#include <string>
#include <vector>

#include "record/card_identity.h"
#include "platform/target_type.h"
#include "record/file_check.h"
#include "record/job_context.h"

namespace cw {

enum class JobKind : int32_t {
  kStore,        // "Store and Verify"
  kRestoreOnly,  // "Store and Verify" with "Restore Only": the backup put back
  kVerifyOnly,   // "Verify Only"
};

enum class JobOutcome : int32_t {
  // The store's card verified; every file of a verify-only job matched; a restore-only job put
  // files back and the card verified.
  kPassed,
  // Ended in its checks, before its backup, its restore or (verify-only) its reading of the
  // card's files: the card is as it was.
  kRefused,
  // Ended after its checks without passing (the card may have been restored: see `restore`).
  kFailed,
  // Ended by a stop request; `stop` says how the card was left.
  kStopped,
  // Another card took the job's card's place and the first was not put back: nothing was
  // written to the other card, and the job's last message says how the first was left.
  kCardReplaced,
};

// How a restore ended: nothing was put back and nothing changed (a backup marked incomplete,
// damaged or empty, or none at all), the card was changed but is not its old self (a restore
// stopped by request included), or every file is back and the restored card verified
// ("Restore OK!!").
enum class RestoreOutcome : int32_t { kNotPossible, kFailed, kVerified };

// What one mark of the window shows: the first for the job's own check of the card (the store
// and its verification, or the verify-only job), the second for a restore and its verification.
enum class Verdict : int32_t { kNone, kPassed, kFailed };

struct JobResult {
  JobKind kind = JobKind::kStore;
  JobOutcome outcome = JobOutcome::kFailed;
  Verdict check = Verdict::kNone;
  Verdict restore = Verdict::kNone;
  // The job changed the card: a store wrote to it, or a restore ran.
  bool cardChanged = false;
  // A restore-only job whose backup folder held nothing: nothing was put back.
  bool nothingToRestore = false;
  StopOutcome stop = kNotStopped;
  // The card the job began with (not present when the job ended before it was taken).
  CardIdentity card{};
  // The backup folder's own name: the one a store took whole, or the one a restore put back;
  // empty when there is none.
  std::string backup{};
  // The card's kind as the job worked to it (a Panel's model included); unknown when the job
  // ended before deciding.
  int32_t targetType = kTargetUnknown;
  // The package the job held the card to; empty for a restore only and for a verification
  // against the card's own reference.
  std::string packagePath{};
  // Every file the job's verifications read, in order (a restore's after the store's).
  std::vector<FileCheck> checks{};

  bool Passed() const { return outcome == JobOutcome::kPassed; }
};

// "passed", "refused", "failed", "stopped" or "card_replaced", as reports name outcomes.
inline const char* OutcomeName(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::kPassed:
      return "passed";
    case JobOutcome::kRefused:
      return "refused";
    case JobOutcome::kStopped:
      return "stopped";
    case JobOutcome::kCardReplaced:
      return "card_replaced";
    case JobOutcome::kFailed:
      break;
  }
  return "failed";
}

}  // namespace cw
