#pragma once
// A package's check of itself: the CRC-32 kept in its first four bytes.

namespace cw {

class File;

// True when the stored packageCrc is 0 (not checked) or equals the CRC-32 of the whole file
// with those four bytes taken as zero. A file too short to hold the field, or one that cannot
// be read whole, fails. Leaves the file at its first byte. Logs "VerifyFWPFile".
bool VerifyFWPFile(File& file);

}  // namespace cw
