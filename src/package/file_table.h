#pragma once
// The package's file table: the 620-byte record as it stands in the package and in memory, the
// kind codes, and which kinds belong on which device.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "log/reporter.h"
#include "platform/target_type.h"

namespace cw {

// Kind codes: which device a file belongs to and how it is stored.
enum FileKind : int32_t {
  kKindEngine2 = 2,
  kKindPanel3940 = 3,      // inflated
  kKindEngine7 = 7,
  kKindPanel3950 = 9,      // inflated
  kKindEngine10 = 10,
  kKindPanel3940Raw = 11,  // stored as is
  kKindPanel3950Raw = 12,  // stored as is
  kKindEngine13 = 13,
  kKindCommonRaw = 14,     // every target, stored as is
  kKindCommon = 15,        // every target, inflated
};

constexpr size_t kPathFieldSize = 300;

#pragma pack(push, 1)
struct FILE_INFO_STRUCT {
  char cardPath[kPathFieldSize];
  char checkPath[kPathFieldSize];
  int32_t kind;
  int32_t dataOffset;
  int32_t storedSize;
  int32_t fileSize;
  uint32_t fileCrc;
};
#pragma pack(pop)

static_assert(sizeof(FILE_INFO_STRUCT) == 620);
static_assert(offsetof(FILE_INFO_STRUCT, checkPath) == 300);
static_assert(offsetof(FILE_INFO_STRUCT, kind) == 600);
static_assert(offsetof(FILE_INFO_STRUCT, dataOffset) == 604);
static_assert(offsetof(FILE_INFO_STRUCT, storedSize) == 608);
static_assert(offsetof(FILE_INFO_STRUCT, fileSize) == 612);
static_assert(offsetof(FILE_INFO_STRUCT, fileCrc) == 616);

// A path field as text: up to its first zero byte, never past the field.
std::string FieldText(const char (&field)[kPathFieldSize]);
// Sets a path field, cutting the text at 299 characters so the terminator always fits.
void SetFieldText(char (&field)[kPathFieldSize], const std::string& text);

// The unpacked bytes of every record of a file table (a negative size counts as none).
uint64_t FileTableBytes(const std::vector<FILE_INFO_STRUCT>& table);

// The record belongs on a card of `targetType`. Logs "FileIsRelevant".
bool FileIsRelevant(const Reporter& log, int32_t targetType, const FILE_INFO_STRUCT& record);

}  // namespace cw
