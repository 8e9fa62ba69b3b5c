#pragma once
// The second CRC list a card may carry in its WD folder.

#include <string>

namespace cw {

struct JobState;

// True when the card's "\WD\CRCFile.txt" opens for reading. Logs "CheckIfWD", then
// "  and it is." or "  and it is not.".
bool CheckIfWD(JobState& state);

}  // namespace cw
