#pragma once
// Card verification against the loaded file table.

#include "card/card_inspection.h"
#include "package/loaded_package.h"
#include "record/job_request.h"

namespace cw {

struct JobState;

// Result of Verify.
enum VerifyResult : int {
  kVerifyFailedNoRestore = 0,  // failed, and the card is not to be restored
  kVerifyFailedRestore = 1,    // failed during a store: restore the backup
  kVerifyPassed = 2,
};

// Checks every file of `package`'s table that belongs on the card, the Engine card's stored
// copies, and (against the card's own reference) the card's other package files (`card`). A
// store's verification (Reference::kStoring) asks for a restore when it fails.
int Verify(JobState& state, const CardFacts& card, const LoadedPackage& package,
           Reference reference);

}  // namespace cw
