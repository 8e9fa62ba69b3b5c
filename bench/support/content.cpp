#include "support/content.h"

#include <array>
#include <cstring>

namespace cwbench {
namespace {

// A fixed vocabulary of made-up words; a skewed draw (small indices often) gives text the
// repetition of real configuration and help files.
const std::array<std::string, 512>& Words() {
  static const std::array<std::string, 512> words = [] {
    std::array<std::string, 512> w;
    Random random(7);
    const char* letters = "etaoinshrdlucmfwypvbgkqjxz";
    for (std::string& word : w) {
      const size_t length = 2 + random.Below(9);
      for (size_t i = 0; i < length; ++i) word += letters[random.Below(random.Below(26) + 1)];
    }
    return w;
  }();
  return words;
}

void FillText(std::string& out, size_t size, Random& random) {
  const auto& words = Words();
  static const char* kSeparators[] = {" ", " ", " ", " ", " = ", ", ", ".\r\n", "\r\n    "};
  while (out.size() < size) {
    out += words[random.Below(random.Below(words.size()) + 1)];
    out += kSeparators[random.Below(8)];
    if (random.Below(16) == 0) out += std::to_string(random.Below(100000));
  }
  out.resize(size);
}

// Four-byte "instructions" from a small set with random operands, runs of padding and address
// tables that count upwards: the texture of executables and images of flash file systems.
void FillCode(std::string& out, size_t size, Random& random) {
  uint32_t opcodes[64];
  for (uint32_t& op : opcodes) op = static_cast<uint32_t>(random.Next());
  uint32_t address = static_cast<uint32_t>(random.Next()) & 0x00FFF000u;
  while (out.size() < size) {
    const uint64_t choice = random.Below(100);
    char word[4];
    if (choice < 80) {
      for (int n = 0; n < 16; ++n) {
        uint32_t v = opcodes[random.Below(random.Below(64) + 1)];
        if (random.Below(4) == 0) v ^= static_cast<uint32_t>(random.Below(4096)) << 8;
        std::memcpy(word, &v, 4);
        out.append(word, 4);
      }
    } else if (choice < 90) {
      out.append(8 * (1 + random.Below(32)), '\0');
    } else {
      for (int n = 0; n < 16; ++n) {
        address += 4 * static_cast<uint32_t>(1 + random.Below(64));
        std::memcpy(word, &address, 4);
        out.append(word, 4);
      }
    }
  }
  out.resize(size);
}

void FillRandom(std::string& out, size_t size, Random& random) {
  out.resize(size);
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint64_t v = random.Next();
    std::memcpy(&out[i], &v, 8);
  }
  for (; i < size; ++i) out[i] = static_cast<char>(random.Next());
}

}  // namespace

std::string MakeContent(ContentSort sort, size_t size, uint64_t seed) {
  Random random(seed * 0x2545F4914F6CDD1Dull + 1);
  std::string out;
  out.reserve(size + 256);
  switch (sort) {
    case ContentSort::kText: FillText(out, size, random); break;
    case ContentSort::kCode: FillCode(out, size, random); break;
    case ContentSort::kRandom: FillRandom(out, size, random); break;
  }
  return out;
}

}  // namespace cwbench
