#pragma once
// The name rules that decide which card files a job keeps and checksums. (Which package files
// belong on which device: package/file_table.h.)

#include <string>

#include "log/reporter.h"
#include "platform/text.h"

namespace cw {

// The text after the last backslash; the whole string when there is none.
std::string GetFilenameNoPath(const std::string& path);
// The card file (upper-case path) must be left alone by cleaning; counted in keptBytes.
// `keepsWholeCard`: the job's package keeps every file (LoadedPackage::KeepsWholeCard). Logs
// "FileIsSpeciallyProtected".
bool FileIsSpeciallyProtected(const Reporter& log, const std::string& path, bool keepsWholeCard);
// The file is outside the CRC-checked set.
bool FileIsCRCExempt(const std::string& path);

}  // namespace cw
