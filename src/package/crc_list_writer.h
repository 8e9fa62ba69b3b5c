#pragma once
// Writes CRC list files: the count, CR LF CR LF, for each file its path, CR LF, its CRC-32
// (little-endian) and CR LF CR LF, then the end marker byte 0xFF.

#include <cstdint>
#include <string>
#include <vector>

namespace cw {

struct CRCListEntry {
  std::string path;
  uint32_t crc = 0;
};

std::string BuildCRCList(const std::vector<CRCListEntry>& entries);

}  // namespace cw
