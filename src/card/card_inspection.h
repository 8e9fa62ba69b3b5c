#pragma once
// The checks a job runs on a card before anything is written: file system and size, the device
// the card belongs to, and the second CRC list in its WD folder.

#include <string>
#include <vector>

namespace cw {

// Package files on the card other than the stored copies; rebuilt by each GetCFInfo.
inline std::vector<std::string> otherPackageFiles;
// globalFlashPath + "\WD\CRCFile.txt", set by CheckIfWD.
inline std::string secondCRCListPath;

bool BasicFlashCheck();
void GetCFInfo();
bool CheckIfWD();

}  // namespace cw
