#pragma once
// The read-only, hidden and system attributes of a card file: they stop a deletion, and on
// Windows a file with hidden or system cannot be replaced by a create-always open or a copy, so
// both the cleaning and every write over an existing card file clear them first.

#include <string>

#include "log/reporter.h"
#include "platform/platform.h"

namespace cw {

// Leaves the file with the archive attribute only when it had read-only, hidden or system.
// True when none of those three is set at the end; *cleared says whether this call cleared any.
bool FixFileStatus(Platform& platform, const Reporter& report, const std::string& path,
                   bool* cleared = nullptr);

// Before a write over `path`: when it is an existing file with read-only, hidden or system set,
// clears them through FixFileStatus. A missing file, or one that needs nothing, costs no log
// line. True when the write may go ahead as far as the attributes are concerned.
bool ClearProtectionBeforeWrite(Platform& platform, const Reporter& report,
                                const std::string& path);

}  // namespace cw
