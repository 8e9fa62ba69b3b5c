#pragma once
// The CRC list file a panel card carries: a count, then for each file its path, CR LF, its
// CRC-32 (4 bytes, little-endian) and CR LF CR LF, and the end marker byte 0xFF.

#include <cstdint>
#include <string>
#include <vector>

#include "package/byte_reader.h"
#include "package/file_table.h"

namespace cw {

struct JobState;

class File;

inline constexpr const char* kCRCList3940 = "\\Quorvane File CRCs.dat";
inline constexpr const char* kCRCList3950 = "\\Quorvane File CRCs 3950.dat";

inline constexpr const char* kMsgCRCListNotOpened = "Stored CRC file could not be opened.";
inline constexpr const char* kMsgCRCListDamaged =
    "Stored CRC file is damaged: it ends inside an entry.";
// Followed by the entry's path and "\r\n".
inline constexpr const char* kMsgCRCListUnsafePath = "Stored CRC file names a file outside the card:\r\n";

// The card's CRC list for targetType: the 3940 list for 2, the 3950 list for any other value.
std::string CRCListPathFor(JobState& state, int32_t target);

// Appends one record per entry of the list at `path` to `fileTable` (cardPath upper-cased with
// every "\HARDDISK\" removed, fileCrc, kind 3 on a 3940 panel, 9 on a 3950 panel, else 0),
// leaving out CRC-exempt entries. False after its message when the list cannot be opened, ends
// inside an entry or names a place outside the card (then nothing of it is appended).
bool LoadArrayFromCRCFile(JobState& state, const std::string& path,
                          std::vector<FILE_INFO_STRUCT>& fileTable);

// After a store: the card's list holds every panel record of `fileTable` (but the last) with the
// same CRC, in table order, before its end marker, whatever the lengths of the table and the
// list. Shows "CRC information not found!" when the list is missing.
bool VerifyCRCFile(JobState& state, const std::vector<FILE_INFO_STRUCT>& fileTable);

enum class OSImageSearch { kFound, kNotFound, kEmptyList };

struct OSImageEntry {
  OSImageSearch outcome = OSImageSearch::kNotFound;
  std::string path;  // upper-cased, when found
  uint32_t crc = 0;
};

// Looks for the NK.BIN or NK.NBG entry among the first N - 1 entries of a list (N = the list's
// count). An entry whose path would name a place outside the card is never taken as it.
OSImageEntry FindOSImageCRC(const uint8_t* data, size_t size);
// The same on an open list, read from its first byte.
OSImageEntry FindOSImageCRC(File& list);

}  // namespace cw
