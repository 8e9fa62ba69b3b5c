#pragma once
// The checks a job runs on a card before anything is written: file system and size, and the
// device the card belongs to. The second CRC list in its WD folder: card/wd_crc_list.h.

#include <string>
#include <vector>

namespace cw {

// Package files on the card other than the stored copies; rebuilt by each GetCFInfo.
inline std::vector<std::string> otherPackageFiles;

bool BasicFlashCheck();
void GetCFInfo();

}  // namespace cw
