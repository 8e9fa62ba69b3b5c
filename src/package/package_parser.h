#pragma once
// The package as the loader reads it: the 32-byte prefix, the header keywords that describe
// the package as a whole, and the file table. Shared by the loader and `cardwright inspect`, so
// both refuse a damaged or hostile package for the same reasons and with the same words.

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/byte_reader.h"
#include "package/file_table.h"

namespace cw {

constexpr size_t kPrefixSize = 32;
constexpr int kHeaderSearchLimit = 1001;
// A package is addressed by signed 32-bit offsets, so it is never larger than this.
inline constexpr uint64_t kMaxPackageBytes = 0x7FFFFFFF;

// Messages of a package the loader refuses.
inline constexpr const char* kMsgNoWinceLine = "Invalid FWP File Format!";
inline constexpr const char* kMsgNoFileCount = "Invalid FWP File Format!\r\n";
inline constexpr const char* kMsgEndsInHeader = "FWP file is damaged: it ends inside its header.\r\n";
inline constexpr const char* kMsgEndsInTable =
    "FWP file is damaged: it ends inside its file table.\r\n";
// Followed by the record's cardPath and "\r\n".
inline constexpr const char* kMsgBadRecord = "FWP file is damaged: bad size or data location for\r\n";
inline constexpr const char* kMsgUnsafePath = "FWP file names a file outside the card:\r\n";

struct PackageHeader {
  uint32_t packageCrc = 0;
  int32_t headerWords[6] = {};
  int32_t releaseNumber = 0;
  int32_t winceIncluded = 0;
  bool has3950Support = false;  // a "3950 PANEL SUPPORT" line between the two keywords
  int32_t fileCount = 0;
  size_t tableOffset = 0;  // the first record, after the two line ends that follow the count
  // How far the read got, so a caller can keep what was read before a failure.
  bool prefixRead = false;
  bool winceRead = false;
};

// Reads the prefix and the header keywords under the loader's rules: "WINCE INCLUDED: " within
// the first 1001 lines after the prefix, then "NUMBER OF FILES: " within the next 1001 lines
// (both tested on the upper-cased line, anywhere in it). Also checks that the records the count
// announces fit in the file. False with the message to show.
bool ParsePackageHeader(const uint8_t* data, size_t size, PackageHeader* header,
                        std::string* message);

// Record `index` of a table that ParsePackageHeader accepted (0 <= index < fileCount).
FILE_INFO_STRUCT PackageRecord(const uint8_t* data, const PackageHeader& header, int32_t index);

// Whether a record read from a package of `packageSize` bytes can be used: its card path is
// safe (CardPathIsSafe), its sizes are not negative and its name stamp and data lie inside the
// file. Empty when it can; otherwise the message to show.
std::string CheckPackageRecord(const FILE_INFO_STRUCT& record, size_t packageSize);

// CRC-32 of a whole package (at most 4 GiB) with its first four bytes, the packageCrc field,
// taken as zero. The field is zeroed during the computation and put back.
uint32_t PackageCrcOf(uint8_t* data, size_t size);

}  // namespace cw
