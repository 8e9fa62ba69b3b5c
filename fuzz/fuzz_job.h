#pragma once
// What the fuzz targets share: invariants that abort (so libFuzzer keeps the input), a
// package's CRC field made to match its bytes (so inputs reach past the CRC check), and the
// split of an input into a mode byte and the data.

#include <cstddef>
#include <cstdint>
#include <string>

namespace cw::fuzz {

// Aborts with `what` when `holds` is false: a broken promise is a finding, like a crash.
void Check(bool holds, const char* what);

// The package with its first four bytes set to the CRC the loader computes; unchanged when it
// is shorter than the field.
std::string WithMatchingCrc(std::string package);

// An input as the targets read it: its first byte chooses how the data is used.
struct ModeAndData {
  uint8_t mode = 0;
  std::string data;
};
ModeAndData Split(const uint8_t* data, size_t size);

// A seed for a target that reads a mode byte: the mode, then the data.
std::string Seed(uint8_t mode, const std::string& data);

}  // namespace cw::fuzz
