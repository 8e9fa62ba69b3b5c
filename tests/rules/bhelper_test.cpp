#include "rules/bhelper.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <thread>
#include <vector>

#include "record/job_state.h"
#include "support/crc.h"
#include "support/job_fixture.h"
#include <random>
#include <string>
#include "rules/crc_kernels.h"

namespace cw {
namespace {

using test::Crc;


TEST(BHelperTest, CheckValues) {
  CBHelper helper;
  EXPECT_EQ(Crc(""), 0u);
  EXPECT_EQ(CBHelper::BufferCRC(nullptr, 0), 0u);
  EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc("abc"), 0x352441C2u);
}

TEST(BHelperTest, AgreesWithZlibOnAllByteValues) {
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
  const uLong expected =
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
  EXPECT_EQ(Crc(bytes), static_cast<uint32_t>(expected));
}

TEST(BHelperTest, ReflectBits) {
  EXPECT_EQ(CBHelper::ReflectBits(1, 8), 0x80u);
  EXPECT_EQ(CBHelper::ReflectBits(0x80, 8), 0x01u);
  EXPECT_EQ(CBHelper::ReflectBits(0x04C11DB7, 32), 0xEDB88320u);
  EXPECT_EQ(CBHelper::ReflectBits(0x3, 4), 0xCu);
  EXPECT_EQ(CBHelper::ReflectBits(0xFFFF, 0), 0u);
  EXPECT_EQ(CBHelper::ReflectBits(0xFFFF, -1), 0u);
  EXPECT_EQ(CBHelper::ReflectBits(0xFFFF, -128), 0u);
  // Only the low `count` bits take part.
  EXPECT_EQ(CBHelper::ReflectBits(0xF01, 4), 0x8u);
}

// The table is private; one byte b through the loop gives ~(0x00FFFFFF ^ table[b ^ 0xFF]),
// so each entry can be read back from a one-byte CRC.
uint32_t TableEntry(int index) {
  const unsigned char byte = static_cast<unsigned char>(index ^ 0xFF);
  return ~CBHelper::BufferCRC(&byte, 1) ^ 0x00FFFFFFu;
}

TEST(BHelperTest, TableEntries) {
  CBHelper helper;
  EXPECT_EQ(TableEntry(0), 0u);
  EXPECT_EQ(TableEntry(1), 0x77073096u);
  EXPECT_EQ(TableEntry(128), 0xEDB88320u);
  EXPECT_EQ(TableEntry(255), 0x2D02EF8Du);
}

TEST(BHelperTest, EverySingleByteAgreesWithZlib) {
  for (int b = 0; b < 256; ++b) {
    const unsigned char byte = static_cast<unsigned char>(b);
    EXPECT_EQ(CBHelper::BufferCRC(&byte, 1), static_cast<uint32_t>(crc32(0L, &byte, 1))) << b;
  }
}

TEST(BHelperTest, StringCrcCoversEmbeddedZerosAndNeverPassesTheString) {
  const std::string withZeros("ab\0\0cd", 6);
  EXPECT_EQ(CBHelper::StringCRC(withZeros, 6), Crc(withZeros));
  EXPECT_NE(CBHelper::StringCRC(withZeros, 6), Crc("ab"));
  EXPECT_EQ(CBHelper::StringCRC("123456789xyz", 9), 0xCBF43926u);
  EXPECT_EQ(CBHelper::StringCRC("abc", 1000), 0x352441C2u);
  EXPECT_EQ(CBHelper::StringCRC("", 5), 0u);
}

TEST(BHelperTest, ConcurrentFirstUseSeesAWholeTable) {
  std::vector<std::thread> threads;
  std::vector<uint32_t> results(8);
  for (size_t i = 0; i < results.size(); ++i)
    threads.emplace_back([&results, i] {
      CBHelper helper;
      results[i] = Crc("123456789");
    });
  for (auto& t : threads) t.join();
  for (uint32_t r : results) EXPECT_EQ(r, 0xCBF43926u);
}

class FileCrcTest : public test::JobFixture {};

TEST_F(FileCrcTest, WholeFileIncludingZeroBytes) {
  const std::string content("12345\0\0\0" "6789", 12);
  fake.WriteFile("E:\\DATA\\BIN.DAT", content);
  EXPECT_EQ(CBHelper::GetFileCRC(state.platform, state, "e:\\data\\bin.dat"), Crc(content));
  EXPECT_NE(CBHelper::GetFileCRC(state.platform, state, "E:\\DATA\\BIN.DAT"), Crc("12345"));
  EXPECT_EQ(prompt.Count(), 0u);
}

// The read buffer is kept from file to file: a shorter file after a longer one is checksummed
// over its own bytes only, and a longer one after it over all of its own.
TEST_F(FileCrcTest, FilesOfEverySizeInTurnGiveTheirOwnCRC) {
  const std::string sizes[] = {std::string(70000, 'a'), "bc", "", std::string(1 << 20, 'd'),
                               std::string(5, 'e')};
  for (size_t i = 0; i < std::size(sizes); ++i)
    fake.WriteFile("E:\\F" + std::to_string(i) + ".BIN", sizes[i]);
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < std::size(sizes); ++i)
      EXPECT_EQ(CBHelper::GetFileCRC(state.platform, state, "E:\\F" + std::to_string(i) + ".BIN"),
                Crc(sizes[i])) << i;
  }
  EXPECT_EQ(prompt.Count(), 0u);
}

TEST_F(FileCrcTest, EmptyAndMissingFilesGiveZeroSilently) {
  fake.WriteFile("E:\\EMPTY.TXT", "");
  EXPECT_EQ(CBHelper::GetFileCRC(state.platform, state, "E:\\EMPTY.TXT"), 0u);
  EXPECT_EQ(CBHelper::GetFileCRC(state.platform, state, "E:\\MISSING.TXT"), 0u);
  EXPECT_EQ(prompt.Count(), 0u);
}

TEST_F(FileCrcTest, FileIsReadInOneRequestAndClosed) {
  fake.WriteFile("E:\\A.BIN", std::string(100000, 'x'));
  fake.ClearCalls();
  CBHelper::GetFileCRC(state.platform, state, "E:\\A.BIN");
  EXPECT_EQ(fake.CallCount("Read"), 1u);
  EXPECT_EQ(fake.CallCount("Close"), 1u);
  EXPECT_EQ(fake.CallCount("Write"), 0u);
}

TEST_F(FileCrcTest, ShortReadShowsMessageAndGivesZero) {
  fake.WriteFile("E:\\A.BIN", "abc");
  fake.FailCall("Read", kErrIoDevice);
  EXPECT_EQ(CBHelper::GetFileCRC(state.platform, state, "E:\\A.BIN"), 0u);
  ASSERT_EQ(prompt.Count(), 1u);
  const PromptCall call = prompt.calls()[0];
  EXPECT_EQ(call.text, "Failed to read the file.\n\nE:\\A.BIN");
  EXPECT_EQ(call.buttons, MessageButtons::Ok);
  EXPECT_EQ(call.icon, MessageIcon::None);
}

// The fast CRC loops against the byte-at-a-time definition, on random data of random lengths
// at random alignments. The definition's table is built here from its own steps, independently
// of the code under test.
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
