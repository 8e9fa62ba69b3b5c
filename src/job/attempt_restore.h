#pragma once
// The restore a store job falls back on, and "Restore Only".

#include "card/card_inspection.h"
#include "package/loaded_package.h"
#include "record/job_request.h"

namespace cw {

struct JobState;

// Puts the backup back, ejects, reloads the reference table into `package` and verifies the
// card again. A card whose kind was unknown is inspected again once its files are back (`card`).
// True only when every file is back and the restored card verified ("Restore OK!!"). A
// backup marked incomplete, or none at all, restores nothing and changes nothing.
// The store job's `request` says whether this is "Restore Only" and which kind of files the
// user asked for.
bool AttemptRestore(JobState& state, const StoreRequest& request, CardFacts& card,
                    LoadedPackage& package);

}  // namespace cw
