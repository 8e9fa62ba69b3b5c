#include "verify/bhelper.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <thread>
#include <vector>

#include "job/job_values.h"
#include "support/fake_platform.h"
#include "support/scripted_prompt.h"

namespace cw {
namespace {

uint32_t Crc(const std::string& s) {
  return CBHelper::BufferCRC(reinterpret_cast<const unsigned char*>(s.data()),
                             static_cast<uint32_t>(s.size()));
}

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

class FileCrcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs().AddDrive('E', DriveType::Removable, "FAT", 64 << 20);
    job_.prompt = &prompt_;
    currentJob = &job_;
  }
  void TearDown() override { currentJob = nullptr; }
  FakePlatform& fs() { return scope_.fake; }
  FakePlatformScope scope_;
  ScriptedPrompt prompt_;
  JobContext job_;
};

TEST_F(FileCrcTest, WholeFileIncludingZeroBytes) {
  const std::string content("12345\0\0\0" "6789", 12);
  fs().WriteFile("E:\\DATA\\BIN.DAT", content);
  EXPECT_EQ(CBHelper::GetFileCRC("e:\\data\\bin.dat"), Crc(content));
  EXPECT_NE(CBHelper::GetFileCRC("E:\\DATA\\BIN.DAT"), Crc("12345"));
  EXPECT_EQ(prompt_.Count(), 0u);
}

// The read buffer is kept from file to file: a shorter file after a longer one is checksummed
// over its own bytes only, and a longer one after it over all of its own.
TEST_F(FileCrcTest, FilesOfEverySizeInTurnGiveTheirOwnCRC) {
  const std::string sizes[] = {std::string(70000, 'a'), "bc", "", std::string(1 << 20, 'd'),
                               std::string(5, 'e')};
  for (size_t i = 0; i < std::size(sizes); ++i)
    fs().WriteFile("E:\\F" + std::to_string(i) + ".BIN", sizes[i]);
  for (int round = 0; round < 2; ++round) {
    for (size_t i = 0; i < std::size(sizes); ++i)
      EXPECT_EQ(CBHelper::GetFileCRC("E:\\F" + std::to_string(i) + ".BIN"), Crc(sizes[i])) << i;
  }
  EXPECT_EQ(prompt_.Count(), 0u);
}

TEST_F(FileCrcTest, EmptyAndMissingFilesGiveZeroSilently) {
  fs().WriteFile("E:\\EMPTY.TXT", "");
  EXPECT_EQ(CBHelper::GetFileCRC("E:\\EMPTY.TXT"), 0u);
  EXPECT_EQ(CBHelper::GetFileCRC("E:\\MISSING.TXT"), 0u);
  EXPECT_EQ(prompt_.Count(), 0u);
}

TEST_F(FileCrcTest, FileIsReadInOneRequestAndClosed) {
  fs().WriteFile("E:\\A.BIN", std::string(100000, 'x'));
  fs().ClearCalls();
  CBHelper::GetFileCRC("E:\\A.BIN");
  EXPECT_EQ(fs().CallCount("Read"), 1u);
  EXPECT_EQ(fs().CallCount("Close"), 1u);
  EXPECT_EQ(fs().CallCount("Write"), 0u);
}

TEST_F(FileCrcTest, ShortReadShowsMessageAndGivesZero) {
  fs().WriteFile("E:\\A.BIN", "abc");
  fs().FailCall("Read", kErrIoDevice);
  EXPECT_EQ(CBHelper::GetFileCRC("E:\\A.BIN"), 0u);
  ASSERT_EQ(prompt_.Count(), 1u);
  const PromptCall call = prompt_.calls()[0];
  EXPECT_EQ(call.text, "Failed to read the file.\n\nE:\\A.BIN");
  EXPECT_EQ(call.buttons, MessageButtons::Ok);
  EXPECT_EQ(call.icon, MessageIcon::None);
}

}  // namespace
}  // namespace cw
