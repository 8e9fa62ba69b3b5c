#pragma once
// Card verification against fileTable.

namespace cw {

struct JobState;

// Result of Verify.
enum VerifyResult : int {
  kVerifyFailedNoRestore = 0,  // failed, and the card is not to be restored
  kVerifyFailedRestore = 1,    // failed during a store: restore the backup
  kVerifyPassed = 2,
};

int Verify(JobState& state);

}  // namespace cw
