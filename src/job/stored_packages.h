#pragma once
// The stored copies of a package with 3950 panel support on an Engine card: "UPGRADE.FWP" and
// "FWP_3950.FWP", each with its own file table and CRC.

#include <cstdint>
#include <string>
#include <vector>

#include "package/file_table.h"
#include "package/loaded_package.h"

namespace cw {

struct JobState;

class File;

// Splits the package's bytes (HoldPackageBytes: those the load kept) into the two stored copies
// on the card, keeping each copy's records in the package's split tables, and lets the bytes go
// once the copies' blocks are written; adds 1 to filesStored per copy. False (with its message)
// on any failure.
bool WriteStoredPackages(JobState& state, LoadedPackage& package, const std::string& dataPath);

// Writes one copy at `path`: prefix, `package`'s header words and release number, the
// rewritten header text from `header`, the count and the records of `table` (whose
// dataOffsets, relative to `data`, become offsets in the copy), then the content of `data`, and
// finally the copy's own CRC. False when the copy is not complete.
bool CreateNewFWPFile(JobState& state, const LoadedPackage& package, File& header, File& data,
                      const std::string& path, std::vector<FILE_INFO_STRUCT>& table);

}  // namespace cw
