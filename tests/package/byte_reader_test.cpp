#include "package/byte_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/fake_platform.h"

namespace cw {
namespace {

// The reader keeps a pointer into `text`, so the text must outlive it: no temporaries.
ByteReader Over(const std::string& text, size_t position = 0) {
  return ByteReader(reinterpret_cast<const uint8_t*>(text.data()), text.size(), position);
}
ByteReader Over(std::string&&, size_t = 0) = delete;

TEST(ByteReaderTest, LinesEndAtCrLfAtLoneLfAndCrTakesTheNextByte) {
  const std::string text = std::string("one\r\ntwo\nthree\rXfour\r\r\nfive");
  ByteReader reader = Over(text);
  EXPECT_EQ(reader.ReadLine(), "one");
  EXPECT_EQ(reader.ReadLine(), "two");
  EXPECT_EQ(reader.ReadLine(), "three");  // the CR swallowed the X
  EXPECT_EQ(reader.ReadLine(), "four");   // CR CR: the second CR is swallowed
  EXPECT_EQ(reader.ReadLine(), "");       // the LF left over ends an empty line
  EXPECT_EQ(reader.ReadLine(), "five");
  EXPECT_TRUE(reader.AtEnd());
}

TEST(ByteReaderTest, TextEndsAtTheFirstZeroByteButTheLineGoesOnToItsEnd) {
  const std::string text = std::string("abc\0def\r\nnext", 13);
  ByteReader reader = Over(text);
  EXPECT_EQ(reader.ReadLine(), "abc");
  EXPECT_EQ(reader.ReadLine(), "next");
}

TEST(ByteReaderTest, ReadingAtTheEndYieldsEmptyLinesAndACrAtTheLastByteStopsThere) {
  const std::string text = "last\r";
  ByteReader reader = Over(text);
  EXPECT_EQ(reader.ReadLine(), "last");
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.ReadLine(), "");
  EXPECT_EQ(reader.ReadLine(), "");
  EXPECT_EQ(reader.position(), 5u);
}

TEST(ByteReaderTest, SearchCountsLinesUpToItsLimit) {
  const std::string text = "a\nb\nc\nkey\n";
  ByteReader reader = Over(text);
  EXPECT_FALSE(reader.SearchLine(3, [](const std::string& l) { return l == "key"; }));
  EXPECT_EQ(reader.ReadLine(), "key");
  const std::string more = "a\nb\nc\nkey\nrest";
  ByteReader again = Over(more);
  EXPECT_TRUE(again.SearchLine(4, [](const std::string& l) { return l == "key"; }));
  EXPECT_EQ(again.ReadLine(), "rest");
}

TEST(ByteReaderTest, ValuesAreLittleEndianAndNeverReadPastTheEnd) {
  const std::string text = std::string("\x01\x02\x03\x84\xFE\xFF\xFF", 7);
  ByteReader reader = Over(text);
  int32_t value = 0;
  ASSERT_TRUE(reader.ReadInt32(&value));
  EXPECT_EQ(static_cast<uint32_t>(value), 0x84030201u);
  EXPECT_FALSE(reader.ReadInt32(&value));  // three bytes left
  EXPECT_EQ(reader.position(), 4u);        // a refused value moves nothing
  char letter = 0;
  ASSERT_TRUE(reader.ReadByte(&letter));
  EXPECT_EQ(static_cast<unsigned char>(letter), 0xFE);
  uint32_t unsignedValue = 0;
  EXPECT_FALSE(reader.ReadUInt32(&unsignedValue));
}

TEST(ByteReaderTest, AStartBeyondTheEndIsTheEnd) {
  const std::string text = "abc";
  ByteReader reader = Over(text, 10);
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.ReadLine(), "");
}

// A buffer that cannot be had is refused, never thrown: more than the process can address (a
// 32-bit build's vector stops at 2 GiB with length_error) or more than the test's limit.
TEST(AllocateBytesTest, RefusesWhatCannotBeHadAndGivesTheRest) {
  Bytes buffer(8, 1);
  EXPECT_FALSE(AllocateBytes(&buffer, uint64_t(buffer.max_size()) + 1));
  EXPECT_TRUE(buffer.empty());
  SetAllocationLimit(100);
  EXPECT_FALSE(AllocateBytes(&buffer, 101));
  EXPECT_TRUE(AllocateBytes(&buffer, 100));
  SetAllocationLimit(0);
  EXPECT_EQ(buffer, Bytes(100, 0));
}

// A whole-file read holds only bytes that came from the file: a read that fails partway leaves
// the pieces read so far, never a tail of bytes that were not read.
TEST(ReadWholeFileTest, HoldsOnlyTheBytesThatWereRead) {
  const struct {
    size_t size;
    int failingRead;  // 0: none
    bool whole;
    size_t kept;
  } cases[] = {
      {0, 0, true, 0},
      {5000, 0, true, 5000},
      {(3u << 20) + 7, 0, true, (3u << 20) + 7},
      {(3u << 20) + 7, 1, false, 0},
      {(3u << 20) + 7, 3, false, 2u << 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    FakePlatform fake;
    std::string content(c.size, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
    fake.WriteFile("C:\\WORK\\F.BIN", content);
    std::unique_ptr<File> file = fake.OpenFile("C:\\WORK\\F.BIN", OpenMode::Read);
    ASSERT_TRUE(file);
    if (c.failingRead != 0) fake.FailCall("Read", kErrDiskFull, c.failingRead);
    Bytes out(10, 0xEE);  // what was there before is never kept
    EXPECT_EQ(ReadWholeFile(*file, UINT64_MAX, &out), c.whole);
    ASSERT_EQ(out.size(), c.kept);
    EXPECT_EQ(std::string(out.begin(), out.end()), content.substr(0, c.kept));
  }
}

}  // namespace
}  // namespace cw
