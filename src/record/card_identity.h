#pragma once
// Who a card is, as the job took it when it began: a value the job's result carries to the
// front ends. Taking it and comparing two are the card layer's (card/card_identity.h).

#include <cstdint>
#include <string>

namespace cw {

struct CardIdentity {
  bool present = false;     // a volume answered at all; false: no card in the slot
  std::string letter;       // "E:"
  uint32_t serial = 0;      // the volume's serial number; 0 when the platform cannot tell it
  std::string label;
  uint64_t bytes = 0;       // the capacity
  std::string fileSystem;
  // The host folder behind the drive (device and inode), where the platform knows it.
  bool hasFolder = false;
  uint64_t folderDevice = 0;
  uint64_t folderNode = 0;
};

}  // namespace cw
