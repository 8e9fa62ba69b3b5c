#pragma once
// Puts the package's files for the current target onto the card.

#include "package/loaded_package.h"

namespace cw {

struct JobState;

// Inflates (or copies, for the stored kinds) every relevant record of the package's fileTable
// from its bytes (HoldPackageBytes: those the load kept) to the card at globalFlashPath; adds 1
// to the job's filesStored per file. False after the first failure (with its message).
bool Decompress(JobState& state, LoadedPackage& package);

// Makes the package's inflateBuffer as large as the largest file Decompress will inflate, so that
// extraction asks for no memory once the card is changing. False (the buffer empty) when that
// memory cannot be had; the store must then refuse.
bool ReserveExtraction(JobState& state, LoadedPackage& package);

}  // namespace cw
