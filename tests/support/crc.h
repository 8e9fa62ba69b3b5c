#pragma once
// The CRC-32 of some bytes as the program computes it for card files and CRC lists.

#include <cstdint>
#include <string>

#include "rules/bhelper.h"

namespace cw::test {

inline uint32_t Crc(const std::string& bytes) {
  CBHelper::BuildCRCTable();
  return CBHelper::BufferCRC(reinterpret_cast<const unsigned char*>(bytes.data()),
                             static_cast<uint32_t>(bytes.size()));
}

}  // namespace cw::test
