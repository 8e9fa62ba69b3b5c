// The fast CRC loops against the byte-at-a-time definition, on random data of random lengths
// at random alignments. The definition's table is built here from its own steps, independently
// of the code under test.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rules/bhelper.h"
#include "rules/crc_kernels.h"

namespace cw {
namespace {

struct Definition {
  uint32_t table[256];
  Definition() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t v = CBHelper::ReflectBits(i, 8) << 24;
      for (int bit = 0; bit < 8; ++bit) v = (v & 0x80000000u) ? (v << 1) ^ 0x04C11DB7u : v << 1;
      table[i] = CBHelper::ReflectBits(v, 32);
    }
  }
  uint32_t Register(uint32_t h, const unsigned char* data, size_t length) const {
    for (size_t i = 0; i < length; ++i) h = (h >> 8) ^ table[(h ^ data[i]) & 0xFF];
    return h;
  }
  uint32_t Crc(const unsigned char* data, size_t length) const {
    return ~Register(0xFFFFFFFFu, data, length);
  }
};

const Definition& Def() {
  static const Definition definition;
  return definition;
}

class FastCrcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CBHelper::BuildCRCTable();
    pool_.resize(kPool);
    for (unsigned char& b : pool_) b = static_cast<unsigned char>(random_());
  }
  // A random slice of the pool: any start (so any alignment) and a length that favours the
  // sizes around the loops' block boundaries but reaches far past them.
  std::pair<const unsigned char*, size_t> Slice() {
    const size_t offset = random_() % 64;
    size_t length;
    switch (random_() % 4) {
      case 0: length = random_() % 80; break;
      case 1: length = 64 * (1 + random_() % 8) + random_() % 32 - 16; break;
      case 2: length = random_() % 4096; break;
      default: length = random_() % (kPool - 64); break;
    }
    return {pool_.data() + offset, length};
  }

  static constexpr size_t kPool = 300000;
  std::mt19937 random_{20240611};
  std::vector<unsigned char> pool_;
};

TEST_F(FastCrcTest, BufferAndStringCrcMatchTheDefinition) {
  for (int round = 0; round < 400; ++round) {
    const auto [data, length] = Slice();
    const uint32_t expected = Def().Crc(data, length);
    ASSERT_EQ(CBHelper::BufferCRC(data, static_cast<uint32_t>(length)), expected)
        << "length " << length << " at " << (data - pool_.data());
    const std::string text(reinterpret_cast<const char*>(data), length);
    ASSERT_EQ(CBHelper::StringCRC(text, static_cast<uint32_t>(length)), expected);
  }
}

// Each loop on its own, from any register, so a chained run equals one run over the whole.
TEST_F(FastCrcTest, EveryLoopMatchesTheDefinitionFromAnyRegister) {
  for (int round = 0; round < 300; ++round) {
    const auto [data, length] = Slice();
    const uint32_t start = static_cast<uint32_t>(random_());
    const uint32_t expected = Def().Register(start, data, length);
    ASSERT_EQ(crc::ByteAtATime(start, data, length), expected);
    ASSERT_EQ(crc::Sliced(start, data, length), expected) << "length " << length;
    ASSERT_EQ(crc::Fast(start, data, length), expected) << "length " << length;
    uint32_t folded = start;
    if (crc::Folded(&folded, data, length)) {
      ASSERT_EQ(folded, expected) << "length " << length;
    } else {
      ASSERT_EQ(folded, start);  // untouched when the CPU cannot fold
    }
    const size_t cut = length == 0 ? 0 : random_() % length;
    ASSERT_EQ(crc::Fast(crc::Fast(start, data, cut), data + cut, length - cut), expected);
  }
}

TEST_F(FastCrcTest, LongRunsOfOneByteValue) {
  // Zeros and ones stress the folding constants differently from random bytes.
  for (unsigned char value : {0x00, 0xFF, 0x80}) {
    const std::vector<unsigned char> bytes(100003, value);
    EXPECT_EQ(CBHelper::BufferCRC(bytes.data(), static_cast<uint32_t>(bytes.size())),
              Def().Crc(bytes.data(), bytes.size()))
        << int(value);
  }
}

TEST_F(FastCrcTest, CheckValuesThroughEveryLoop) {
  const auto* digits = reinterpret_cast<const unsigned char*>("123456789");
  EXPECT_EQ(~crc::Sliced(0xFFFFFFFFu, digits, 9), 0xCBF43926u);
  // 64 copies of the digits: long enough for the folding loop.
  std::string many;
  for (int i = 0; i < 64; ++i) many += "123456789";
  const auto* bytes = reinterpret_cast<const unsigned char*>(many.data());
  EXPECT_EQ(CBHelper::StringCRC(many, static_cast<uint32_t>(many.size())),
            Def().Crc(bytes, many.size()));
  EXPECT_NE(Def().Crc(bytes, many.size()), 0u);
}

}  // namespace
}  // namespace cw
