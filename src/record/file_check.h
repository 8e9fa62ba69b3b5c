#pragma once
// One file a verification read back from the card, as reports that machines read show it.

#include <cstdint>
#include <optional>
#include <string>

namespace cw {

// Its card path, the CRC-32 its reference gives and the one the card's file gives (none when it
// could not be read), and whether they matched. A stored package copy is checked against the
// CRC-32 kept in its own first bytes (0 there: not checked).
struct FileCheck {
  bool afterRestore = false;  // read back by the verification after a restore
  bool packageCopy = false;
  std::string path;
  std::optional<uint32_t> expected;
  std::optional<uint32_t> actual;
  bool matched = false;
};

}  // namespace cw
