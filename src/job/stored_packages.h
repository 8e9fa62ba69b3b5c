#pragma once
// The stored copies of a package with 3950 panel support on an Engine card: "UPGRADE.FWP" and
// "FWP_3950.FWP", each with its own file table and CRC.

#include <cstdint>
#include <string>
#include <vector>

#include "record/file_table.h"

namespace cw {

struct JobState;

class File;

// Splits the package's bytes (HoldPackageBytes: those the load kept) into the two stored copies
// on the card, and lets the bytes go once the copies' blocks are written; adds 1 to filesStored
// per copy. False (with its message) on any failure.
bool WriteStoredPackages(JobState& state);

// Writes one copy at `path`: prefix, the rewritten header text from `header`, the count and the
// records of `table` (whose dataOffsets, relative to `data`, become offsets in the copy), then
// the content of `data`, and finally the copy's own CRC. False when the copy is not complete.
bool CreateNewFWPFile(JobState& state, File& header, File& data, const std::string& path,
                      std::vector<FILE_INFO_STRUCT>& table);

}  // namespace cw
