#pragma once
// The file-table loader: loads the job's package (package/loaded_package.h) from the package
// file, from the card's stored copy of it (an Engine card checked without a package) or from
// the card's CRC lists (a Panel card checked without a package), keeping the records of the
// target device.

#include <string>

#include "package/loaded_package.h"
#include "record/job_request.h"

namespace cw {

struct JobState;

// Loads into `package`, the job's own, which keeps what earlier loads of the job found: its
// fileTable and packageData are replaced, the header words, releaseNumber and osInPackage are
// set by a package whose header gives them, has3950Support is only ever set, and packageBytes
// is added to. For a store, packageData keeps the package's bytes and inflateBuffer is made
// ready. True when fileTable is loaded. On false the user has seen a message, which is also in
// the job's diagnosticsText. `reference` says what is loaded: the package at `packagePath` (to
// store it, or to verify against it), or the card's own reference (an Engine card's stored copy
// of its package, a Panel card's CRC lists). Refuses a package that is damaged or names a file
// outside the card before taking any of its records.
bool LoadInfoArray(JobState& state, LoadedPackage& package, Reference reference,
                   const std::string& packagePath);

}  // namespace cw
