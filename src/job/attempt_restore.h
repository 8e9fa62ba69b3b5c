#pragma once
// The restore a store job falls back on, and "Restore Only".

#include "card/card_inspection.h"
#include "package/loaded_package.h"
#include "record/job_request.h"

namespace cw {

struct JobState;

// How a restore ended: nothing was put back and nothing changed (a backup marked incomplete,
// damaged or empty, or none at all), the card was changed but is not its old self, or every
// file is back and the restored card verified ("Restore OK!!").
enum class RestoreOutcome { kNotPossible, kFailed, kVerified };

// Puts the backup back (PutBackupBack), ejects, reloads the reference table into `package` and
// verifies the card again. A card whose kind was unknown is inspected again once its files are
// back (`card`).
// The store job's `request` says whether this is "Restore Only" and which kind of files the
// user asked for.
RestoreOutcome AttemptRestore(JobState& state, const StoreRequest& request, CardFacts& card,
                              LoadedPackage& package);

}  // namespace cw
