#pragma once
// The stored copies of a package with 3950 panel support on an Engine card: "UPGRADE.FWP" and
// "FWP_3950.FWP", each with its own file table and CRC.

#include <cstdint>

namespace cw {

// Splits the package at globalFWPDataFilePath into the two stored copies on the card; adds 1 to
// filesStored per copy. False (with its message) on any failure.
bool WriteStoredPackages(int32_t& filesStored);

}  // namespace cw
