#include "package/version_block.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "package/byte_reader.h"
#include "package/package_writer.h"
#include "support/version_specs.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::Large;
using test::Versions;

VersionBlockRead Parse(const std::string& bytes) {
  return ParseVersionBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Inserts `count` lines "X" right before `keyword` in a built package.
std::string WithLinesBefore(std::string bytes, const std::string& keyword, int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "X\r\n";
  const size_t at = bytes.find(keyword);
  EXPECT_NE(at, std::string::npos);
  return bytes.insert(at, lines);
}

TEST(VersionTextTest, ComposesVersionThreeDigitRevisionAndLetter) {
  EXPECT_EQ(ComposeVersionText(kEngineVersionPrefix, {2, 15, 'B'}),
            "Engine Software Version: 2.015B");
  EXPECT_EQ(ComposeVersionText(kPanelVersionPrefix, {10, 3, 0}), "Panel Software Version: 10.003");
  EXPECT_EQ(ComposeVersionText(kPanelVersionPrefix, {1, 5, 'Z'}), "Panel Software Version: 1.005Z");
  EXPECT_EQ(ComposeVersionText(kPanelVersionPrefix, {1, 1234, 'A'}),
            "Panel Software Version: 1.1234A");
}

TEST(VersionTextTest, OnlyLettersFromAUpToCode127AreShown) {
  for (char letter : {char(0), ' ', '@', '9', char(0x80), char(0xC1)}) {
    EXPECT_EQ(ComposeVersionText(kEngineVersionPrefix, {2, 0, letter}),
              "Engine Software Version: 2.000")
        << int(letter);
  }
  EXPECT_EQ(ComposeVersionText(kEngineVersionPrefix, {2, 0, 'a'}), "Engine Software Version: 2.000a");
  EXPECT_EQ(ComposeVersionText(kEngineVersionPrefix, {2, 0, 127}),
            std::string("Engine Software Version: 2.000\x7F"));
}

TEST(ParseVersionBlockTest, ReadsEveryValueOfAWrittenPackage) {
  const VersionBlockRead read = Parse(BuildPackage(Versions()));
  ASSERT_TRUE(read.found);
  EXPECT_FALSE(read.truncated);
  EXPECT_EQ(*read.formatVersion, 1);
  EXPECT_EQ(*read.formatRevision, 9);
  EXPECT_EQ(*read.formatLetter, 'C');
  EXPECT_TRUE(read.generatorSearched);
  EXPECT_EQ(*read.generatorVersion, 3);
  EXPECT_EQ(*read.generatorRevision, 21);
  EXPECT_EQ(*read.generatorLetter, 'D');
  ASSERT_TRUE(read.engine && read.panel);
  EXPECT_EQ(ComposeVersionText(kEngineVersionPrefix, *read.engine),
            "Engine Software Version: 2.015B");
  EXPECT_EQ(ComposeVersionText(kPanelVersionPrefix, *read.panel), "Panel Software Version: 10.003");
}

TEST(ParseVersionBlockTest, GeneratorIsReadFromFormat1008On) {
  PackageSpec spec = Versions();
  spec.formatRevision = 7;
  VersionBlockRead read = Parse(BuildPackage(spec));
  EXPECT_FALSE(read.generatorSearched);
  EXPECT_FALSE(read.generatorVersion.has_value());
  ASSERT_TRUE(read.engine.has_value());  // the engine search starts after the format letter
  EXPECT_EQ(read.engine->revision, 15);

  spec.formatRevision = 8;
  read = Parse(BuildPackage(spec));
  EXPECT_TRUE(read.generatorSearched);
  EXPECT_EQ(*read.generatorRevision, 21);
}

TEST(ParseVersionBlockTest, KeywordOneAsTheFirstHeaderLineIsNotFound) {
  PackageSpec spec = Versions();
  spec.title = "FWP File Format Version: ";
  spec.formatVersion.reset();
  // The zero bytes of the prefix run into the first line and cut its text.
  EXPECT_FALSE(Parse(BuildPackage(spec)).found);
  // Unless the prefix happens to end with a line end.
  spec.setCrc = false;
  spec.releaseNumber = 0x0A000000;
  const VersionBlockRead read = Parse(BuildPackage(spec));
  EXPECT_TRUE(read.found);
}

TEST(ParseVersionBlockTest, KeywordOneIsSearchedIn500LinesFromTheFirstByte) {
  PackageSpec spec = Versions();
  std::string title = "T";
  for (int i = 0; i < 498; ++i) title += "\r\nX";  // keyword 1 becomes line 500
  spec.title = title;
  EXPECT_TRUE(Parse(BuildPackage(spec)).found);
  spec.title += "\r\nX";  // line 501
  const VersionBlockRead read = Parse(BuildPackage(spec));
  EXPECT_FALSE(read.found);
  EXPECT_FALSE(read.formatVersion.has_value());
}

TEST(ParseVersionBlockTest, LaterKeywordsAreSearchedIn50LinesAndTheValueIsReadWhereTheSearchStopped) {
  const std::string bytes = BuildPackage(Versions());
  // After the value: its CR LF makes line 1, the inserted lines 2..n+1, the keyword n+2.
  EXPECT_EQ(*Parse(WithLinesBefore(bytes, "FWP File Format Revision: ", 48)).formatRevision, 9);
  const VersionBlockRead read = Parse(WithLinesBefore(bytes, "FWP File Format Revision: ", 49));
  ASSERT_TRUE(read.formatRevision.has_value());
  EXPECT_EQ(static_cast<uint32_t>(*read.formatRevision), 0x20505746u);  // "FWP "
  EXPECT_TRUE(read.engine.has_value());  // and the read goes on
}

TEST(ParseVersionBlockTest, PanelVersionIsSearchedIn500Lines) {
  const std::string bytes = BuildPackage(Versions());
  EXPECT_EQ(Parse(WithLinesBefore(bytes, "Panel Software Version: ", 400)).panel->version, 10);
}

TEST(ParseVersionBlockTest, KeywordsMatchOnlyExactlyWholeLineAndCase) {
  const std::string bytes = BuildPackage(Versions());
  std::string lower = bytes;
  lower.replace(lower.find("FWP File Format Version: "), 25, "fwp file format version: ");
  EXPECT_FALSE(Parse(lower).found);
  std::string blanks = bytes;
  blanks.insert(blanks.find("FWP File Format Version: ") + 25, " ");
  EXPECT_FALSE(Parse(blanks).found);
  std::string prefixed = bytes;
  prefixed.insert(prefixed.find("FWP File Format Version: "), "> ");
  EXPECT_FALSE(Parse(prefixed).found);
}

TEST(ParseVersionBlockTest, AFileEndingInsideAValueStopsTheReadCleanly) {
  const std::string bytes = BuildPackage(Versions());
  const size_t engineValue =
      bytes.find("Engine App Software Version: ") + std::string("Engine App Software Version: \r\n").size();
  const VersionBlockRead read = Parse(bytes.substr(0, engineValue + 2));
  EXPECT_TRUE(read.found);
  EXPECT_TRUE(read.truncated);
  EXPECT_EQ(*read.generatorLetter, 'D');  // what came before is kept
  EXPECT_FALSE(read.engine.has_value());
  EXPECT_FALSE(read.panelSearched);

  const size_t firstValue =
      bytes.find("FWP File Format Version: ") + std::string("FWP File Format Version: \r\n").size();
  const VersionBlockRead cut = Parse(bytes.substr(0, firstValue + 1));
  EXPECT_TRUE(cut.found && cut.truncated);
  EXPECT_FALSE(cut.formatVersion.has_value());
}

TEST(ParseVersionBlockTest, EmptyAndTinyInputsFindNothing) {
  EXPECT_FALSE(Parse("").found);
  EXPECT_FALSE(Parse("\r\n\r").found);
}

TEST(ByteReaderEndTest, TellsWhenAReadLookedAtTheEnd) {
  const std::string text = "AB\r\nCD";
  ByteReader reader(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  EXPECT_EQ(reader.ReadLine(), "AB");
  EXPECT_FALSE(reader.ReachedEnd());
  EXPECT_EQ(reader.ReadLine(), "CD");  // no line end: ran into the end
  EXPECT_TRUE(reader.ReachedEnd());

  // A CR as the last byte would take the next byte along, which lies beyond.
  const std::string cr = "AB\r";
  ByteReader crReader(reinterpret_cast<const uint8_t*>(cr.data()), cr.size());
  crReader.ReadLine();
  EXPECT_TRUE(crReader.ReachedEnd());

  // A value that does not fit.
  const std::string shortValue = "K\n\x01\x02";
  ByteReader valueReader(reinterpret_cast<const uint8_t*>(shortValue.data()), shortValue.size());
  valueReader.ReadLine();
  int32_t value = 0;
  EXPECT_FALSE(valueReader.ReachedEnd());
  EXPECT_FALSE(valueReader.ReadInt32(&value));
  EXPECT_TRUE(valueReader.ReachedEnd());
}

TEST(ByteReaderEndTest, AParseWithinTheBytesDoesNotReachTheirEnd) {
  const std::string bytes = BuildPackage(Large());
  const VersionBlockRead read =
      ParseVersionBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_TRUE(read.found && read.panel);
  EXPECT_FALSE(read.reachedEnd);
  // The same block cut just after its first keyword line must say it ran out.
  const size_t cut = bytes.find("FWP File Format Version: ") + 26;
  const VersionBlockRead shortRead =
      ParseVersionBlock(reinterpret_cast<const uint8_t*>(bytes.data()), cut);
  EXPECT_TRUE(shortRead.reachedEnd);
}

bool SameTriple(const std::optional<VersionTriple>& a, const std::optional<VersionTriple>& b) {
  if (!a || !b) return !a && !b;
  return a->version == b->version && a->revision == b->revision && a->letter == b->letter;
}

// Every value a parse gives, apart from whether it looked at the end.
bool SameValues(const VersionBlockRead& a, const VersionBlockRead& b) {
  return a.found == b.found && a.truncated == b.truncated && a.formatVersion == b.formatVersion &&
         a.formatRevision == b.formatRevision && a.formatLetter == b.formatLetter &&
         a.generatorSearched == b.generatorSearched && a.generatorVersion == b.generatorVersion &&
         a.generatorRevision == b.generatorRevision && a.generatorLetter == b.generatorLetter &&
         a.engineSearched == b.engineSearched && SameTriple(a.engine, b.engine) &&
         a.panelSearched == b.panelSearched && SameTriple(a.panel, b.panel);
}

// A head that ends anywhere, a line end included, either gives the whole file's result or
// says that it ran into its end (and the whole file is read).
TEST(VersionBlockBoundaryTest, EveryHeadLengthGivesTheWholeFilesResultOrSaysItRanOut) {
  PackageSpec spec = Large();
  spec.files.clear();
  spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\A.BIN", .content = "abc"});
  const std::string bytes = BuildPackage(spec);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const VersionBlockRead whole = ParseVersionBlock(data, bytes.size());
  ASSERT_TRUE(whole.found && whole.panel && !whole.reachedEnd);
  const size_t blockEnd = bytes.find("Panel Software Letter: ");
  ASSERT_NE(blockEnd, std::string::npos);
  int ranOut = 0;
  for (size_t size = 0; size <= blockEnd + 64 && size <= bytes.size(); ++size) {
    const VersionBlockRead head = ParseVersionBlock(data, size);
    if (head.reachedEnd) {
      ++ranOut;
      continue;
    }
    EXPECT_TRUE(SameValues(head, whole)) << "a head of " << size << " bytes";
  }
  // Every head that ends inside the block runs out.
  EXPECT_GE(ranOut, static_cast<int>(blockEnd));
}

}  // namespace
}  // namespace cw
