#include "record/file_table.h"

#include <algorithm>
#include <cstring>

namespace cw {

std::string FieldText(const char (&field)[kPathFieldSize]) {
  const void* zero = std::memchr(field, 0, kPathFieldSize);
  const size_t length = zero ? static_cast<const char*>(zero) - field : kPathFieldSize;
  return std::string(field, length);
}

void SetFieldText(char (&field)[kPathFieldSize], const std::string& text) {
  std::memset(field, 0, kPathFieldSize);
  std::memcpy(field, text.data(), std::min(text.size(), kPathFieldSize - 1));
}

uint64_t FileTableBytes(const std::vector<FILE_INFO_STRUCT>& table) {
  uint64_t total = 0;
  for (const FILE_INFO_STRUCT& record : table)
    if (record.fileSize > 0) total += static_cast<uint64_t>(record.fileSize);
  return total;
}

}  // namespace cw
