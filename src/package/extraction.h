#pragma once
// Puts the package's files for the current target onto the card.

namespace cw {

struct JobState;

// Inflates (or copies, for the stored kinds) every relevant record of fileTable from the
// package's bytes (HoldPackageBytes: those the load kept) to the card at globalFlashPath; adds 1 to the job's filesStored per
// file. False after the first failure (with its message).
bool Decompress(JobState& state);

}  // namespace cw
