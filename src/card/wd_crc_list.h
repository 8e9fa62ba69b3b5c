#pragma once
// The second CRC list a card may carry in its WD folder.

#include <optional>
#include <string>

#include "log/reporter.h"
#include "platform/platform.h"

namespace cw {

// The card's "\WD\CRCFile.txt" (below `flashPath`) when it opens for reading, else nullopt.
// Logs "CheckIfWD", then "  and it is." or "  and it is not.".
std::optional<std::string> CheckIfWD(Platform& platform, const Reporter& report,
                                     const std::string& flashPath);

}  // namespace cw
