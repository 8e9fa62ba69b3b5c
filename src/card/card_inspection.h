#pragma once
// The checks a job runs on a card before anything is written: file system and size, and the
// device the card belongs to. The second CRC list in its WD folder: card/wd_crc_list.h.

#include <string>
#include <vector>

namespace cw {

struct JobState;

bool BasicFlashCheck(JobState& state);
void GetCFInfo(JobState& state);

}  // namespace cw
