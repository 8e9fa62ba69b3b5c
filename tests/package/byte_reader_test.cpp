#include "package/byte_reader.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace cw
