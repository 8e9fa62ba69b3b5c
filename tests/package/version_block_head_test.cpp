// A large package's version block is read from the head of the file; whenever the head is not
// enough (a line or the block running past it) the whole file is read, so the result is
// always the one the whole file gives.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "record/job_context.h"
#include "package/byte_reader.h"
#include "package/package_writer.h"
#include "package/version_block.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::JobScope;
using test::kPackagePath;

// Versions that differ from every default, and one incompressible 1 MiB file, so the package
// is far larger than the head that is read first.
PackageSpec Large(const std::string& title = "FIRMWARE PACKAGE") {
  PackageSpec spec{.releaseNumber = 7, .title = title, .formatRevision = 9,
                   .generatorVersion = 3, .generatorRevision = 21, .engineVersion = 2,
                   .engineRevision = 15, .engineLetter = 'B', .panelVersion = 10,
                   .panelRevision = 3};
  std::string content(1 << 20, '\0');
  uint32_t v = 1;
  for (char& c : content) {
    v = v * 1664525u + 1013904223u;
    c = static_cast<char>(v >> 24);
  }
  spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\BIG.BIN", .content = content});
  return spec;
}

class VersionBlockHeadTest : public ::testing::Test {
 protected:
  // What ReadVersionBlock shows, next to what a parse of the whole file gives.
  void ExpectSameAsWholeFile(const PackageSpec& spec) {
    const std::string bytes = scope.PutPackage(spec);
    ASSERT_GT(bytes.size(), 512u * 1024);
    const VersionTexts texts = ReadVersionBlock(kPackagePath, scope.job, "old", "old");
    const VersionBlockRead whole =
        ParseVersionBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(texts.opened);
    EXPECT_EQ(texts.found, whole.found);
    ASSERT_TRUE(whole.engine && whole.panel);
    EXPECT_EQ(texts.engineText, ComposeVersionText(kEngineVersionPrefix, *whole.engine));
    EXPECT_EQ(texts.panelText, ComposeVersionText(kPanelVersionPrefix, *whole.panel));
    EXPECT_EQ(scope.job.versionBlock.generatorRevision, *whole.generatorRevision);
  }
  JobScope scope;
};

TEST_F(VersionBlockHeadTest, ALargePackageGivesTheWholeFilesVersions) {
  ExpectSameAsWholeFile(Large());
  EXPECT_EQ(scope.job.fwpVersion, 1009);
}

TEST_F(VersionBlockHeadTest, AFirstLineLongerThanTheHeadIsReadFromTheWholeFile) {
  ExpectSameAsWholeFile(Large(std::string(400 * 1024, 'T')));
  EXPECT_EQ(scope.job.versionBlock.generatorVersion, 3);
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

// The 256 KiB head ending exactly on a line end, with the version block behind it.
TEST_F(VersionBlockHeadTest, AHeadEndingOnALineEndStillFindsTheBlockBehindIt) {
  const std::string probe = BuildPackage(Large("T"));
  const size_t titleAt = probe.find("T\r\n");
  ASSERT_NE(titleAt, std::string::npos);
  const size_t title = 256 * 1024 - titleAt - 2;  // the title's CR LF ends the head
  const std::string bytes = BuildPackage(Large(std::string(title, 'T')));
  ASSERT_EQ(bytes.substr(256 * 1024 - 2, 2), "\r\n");
  ASSERT_GE(bytes.find("FWP File Format Version: "), size_t{256 * 1024});
  ExpectSameAsWholeFile(Large(std::string(title, 'T')));
  EXPECT_EQ(scope.job.fwpVersion, 1009);
}

}  // namespace
}  // namespace cw
