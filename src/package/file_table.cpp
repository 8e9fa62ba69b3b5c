#include "package/file_table.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

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

bool FileIsRelevant(const Reporter& log, int32_t targetType, const FILE_INFO_STRUCT& record) {
  log.Log("FileIsRelevant");
  const int32_t kind = record.kind;
  if (kind == kKindCommonRaw || kind == kKindCommon) return true;
  switch (targetType) {
    case kTargetEngine:
      return kind == kKindEngine2 || kind == kKindEngine7 || kind == kKindEngine10 ||
             kind == kKindEngine13 ||
             Contains(ToUpperAscii(FieldText(record.cardPath)), "ZLIBCE.DLL");
    case kTargetPanel3940:
      return kind == kKindPanel3940 || kind == kKindPanel3940Raw;
    case kTargetPanel3950:
      return kind == kKindPanel3950 || kind == kKindPanel3950Raw;
    default:
      return false;
  }
}

}  // namespace cw
