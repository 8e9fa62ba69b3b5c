#pragma once
// The name and kind rules that decide which files a job places, keeps and checksums.

#include <string>

#include "record/file_table.h"
#include "platform/text.h"

namespace cw {

struct JobState;

// The text after the last backslash; the whole string when there is none.
std::string GetFilenameNoPath(JobState& state, const std::string& path);
// The record belongs on the current targetType.
bool FileIsRelevant(JobState& state, FILE_INFO_STRUCT record);
// The card file (upper-case path) must be left alone by cleaning; counted in keptBytes.
bool FileIsSpeciallyProtected(JobState& state, const std::string& path);
// The file is outside the CRC-checked set.
bool FileIsCRCExempt(const std::string& path);

}  // namespace cw
