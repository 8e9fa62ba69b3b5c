#pragma once
// A package's check of itself: the CRC-32 kept in its first four bytes.

#include <cstdint>
#include <optional>

#include "package/byte_reader.h"

namespace cw {

struct JobState;

class File;

// True when the stored packageCrc is 0 (not checked) or equals the CRC-32 of the whole file
// with those four bytes taken as zero. A file too short to hold the field, or one that cannot
// be read whole, fails. Leaves the file at its first byte. Logs "VerifyFWPFile".
bool VerifyFWPFile(JobState& state, File& file);
// The same; when the check read the whole file and passed, its bytes are left in *whole (else
// *whole is empty), so a caller that needs them does not read the file a second time.
bool VerifyFWPFile(JobState& state, File& file, Bytes* whole);

// The two CRC-32s a package check compares: the one the file keeps, and the one its bytes give
// (none when the field is 0 or the file could not be read whole).
struct PackageCrcs {
  std::optional<uint32_t> stored;
  std::optional<uint32_t> computed;
};
// The same check, also telling what it compared.
bool VerifyFWPFile(JobState& state, File& file, PackageCrcs* crcs);
// Both: the CRC-32s, and the bytes when the check read the whole file and passed.
bool VerifyFWPFile(JobState& state, File& file, PackageCrcs* crcs, Bytes* whole);

// How a package read at one go came out.
enum class PackageLoad {
  kPassed,       // *bytes holds the whole package and its check passed
  kFailedCheck,  // the check failed ("FWP file failed CRC test!")
  kUnreadable,   // the check passed but the package cannot be held whole
  kTooLarge,     // larger than `maxBytes` or than the memory to be had: never checked
};
// What a store or verify refused for kTooLarge says.
inline constexpr const char* kPackageTooLargeText =
    "FWP file is too large to load into memory!\r\nThe card is unchanged.\r\n";
// Reads the whole package (at most `maxBytes`) into *bytes with one read and runs the check
// above on those bytes, so the package is read once and the bytes kept are the bytes checked.
// A file that is too large, too short for the field or that does not read whole at once is
// judged by the check on the file, with the same outcome as the check always gave, but one
// larger than `maxBytes` or than the memory to be had is kTooLarge, not a failed check. Logs
// "VerifyFWPFile"; *bytes is empty unless the outcome is kPassed.
PackageLoad ReadCheckedPackage(JobState& state, File& file, uint64_t maxBytes, Bytes* bytes);

}  // namespace cw
