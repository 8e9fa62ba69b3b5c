#pragma once
// Explicit drive mappings: "E:=/path[,removable|fixed][,fs=NAME][,bytes=N][,serial=XXXX-XXXX]".
// They let a plain folder stand in for a card (tests, the demo) and force a reader that
// reports itself wrongly. Parsing is shared by every backend, so a malformed mapping is refused
// the same way everywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cw {

struct DriveMapping {
  char letter = 0;        // 'D' to 'Z', upper case
  std::string hostPath;   // the folder standing for the drive's root
  bool removable = true;  // the default: a mapped folder is a card
  std::optional<std::string> fileSystem;  // "fs=": overrides what the host reports
  std::optional<uint64_t> totalBytes;     // "bytes=": overrides the capacity
  std::optional<uint32_t> serialNumber;   // "serial=": the volume's serial number
};

// Parses one mapping. On failure returns nullopt and puts a reason into *error.
std::optional<DriveMapping> ParseDriveMapping(const std::string& text, std::string* error);

// Parses the ';'-separated mappings of CARDWRIGHT_DRIVES (empty items are ignored).
bool ParseDriveMappingList(const std::string& text, std::vector<DriveMapping>* mappings,
                           std::string* error);

}  // namespace cw
