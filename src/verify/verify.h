#pragma once
// Card verification against the loaded file table.

#include <vector>

#include "card/card_inspection.h"
#include "package/loaded_package.h"
#include "record/file_check.h"
#include "record/job_request.h"

namespace cw {

struct JobState;

// What a verification decides.
enum class VerifyDecision {
  kFailedNoRestore,  // failed, and the card is not to be restored
  kFailedRestore,    // failed during a store: restore the backup
  kPassed,
};

// Every file the verification read, in order, and what it decided.
struct VerifyReport {
  std::vector<FileCheck> files;
  VerifyDecision decision = VerifyDecision::kFailedNoRestore;

  bool Passed() const { return decision == VerifyDecision::kPassed; }
};

// Checks every file of `package`'s table that belongs on the card, the Engine card's stored
// copies, and (against the card's own reference) the card's other package files (`card`). A
// store's verification (Reference::kStoring) asks for a restore when it fails. A verification
// that ends early (a stop, another card, an error) leaves the checks it had made in the job's
// record (JobState::fileChecks); the job takes in a returned report itself.
VerifyReport Verify(JobState& state, const CardFacts& card, const LoadedPackage& package,
           Reference reference);

}  // namespace cw
