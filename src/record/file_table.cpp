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

}  // namespace cw
