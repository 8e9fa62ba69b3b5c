#pragma once
// The restore a store job falls back on, and "Restore Only".

#include "card/card_inspection.h"
#include "package/loaded_package.h"
#include "record/job_request.h"
#include "record/job_result.h"

namespace cw {

struct JobState;

// Puts the backup back (PutBackupBack), ejects, reloads the reference table into `package` and
// verifies the card again. A card whose kind was unknown is inspected again once its files are
// back (`card`).
// The store job's `request` says whether this is "Restore Only" and which kind of files the
// user asked for.
RestoreOutcome AttemptRestore(JobState& state, const StoreRequest& request, CardFacts& card,
                              LoadedPackage& package);

}  // namespace cw
