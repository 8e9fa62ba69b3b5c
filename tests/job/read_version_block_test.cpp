#include "job/read_version_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/version_specs.h"
#include "record/job_context.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::JobScope;
using test::kPackagePath;
using test::Large;
using test::Versions;

class ReadVersionBlockTest : public ::testing::Test {
 protected:
  JobScope scope;
  PackageVersions versions;
};

TEST_F(ReadVersionBlockTest, FillsTheJobAndTheTextsAndLogsEachStepInOrder) {
  scope.PutPackage(Versions());
  const VersionTexts texts =
      ReadVersionBlock(scope.fake, kPackagePath, scope.job, versions, "old engine", "old panel");
  EXPECT_TRUE(texts.opened && texts.found);
  EXPECT_EQ(texts.engineText, "Engine Software Version: 2.015B");
  EXPECT_EQ(texts.panelText, "Panel Software Version: 10.003");
  const VersionBlock& block = versions.versionBlock;
  EXPECT_EQ(block.formatVersion, 1);
  EXPECT_EQ(block.formatRevision, 9);
  EXPECT_EQ(block.formatLetter, 'C');
  EXPECT_EQ(block.generatorVersion, 3);
  EXPECT_EQ(block.generatorRevision, 21);
  EXPECT_EQ(block.generatorLetter, 'D');
  EXPECT_EQ(versions.fwpVersion, 1009);
  const std::vector<std::string> expected = {
      "GetFWPVerRev",
      "  searching for fwp version information.",
      "  searching for fwp file generator version.",
      "  searching for engine app version.",
      "  searching for fwp panel version.",
      "  ",
      "  this fwp version is V1.9 C",
      "  and was created by fwp generator V3.21 D",
      "Engine Software Version: 2.015B",
      "Panel Software Version: 10.003"};
  EXPECT_EQ(scope.LogLines(), expected);
  EXPECT_EQ(scope.prompt.Count(), 0u);
}

TEST_F(ReadVersionBlockTest, Format1007KeepsTheGeneratorValuesOfTheRunBefore) {
  versions.versionBlock.generatorVersion = 4;
  versions.versionBlock.generatorRevision = 44;
  versions.versionBlock.generatorLetter = 'Q';
  PackageSpec spec = Versions();
  spec.formatRevision = 7;
  scope.PutPackage(spec);
  ReadVersionBlock(scope.fake, kPackagePath, scope.job, versions, "", "");
  EXPECT_EQ(versions.fwpVersion, 1007);
  EXPECT_EQ(versions.versionBlock.generatorVersion, 4);
  EXPECT_EQ(versions.versionBlock.generatorRevision, 44);
  EXPECT_EQ(versions.versionBlock.generatorLetter, 'Q');
  const std::vector<std::string> lines = scope.LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  searching for fwp file generator version."), 0);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  and was created by fwp generator V4.44 Q"),
            lines.end());
}

TEST_F(ReadVersionBlockTest, AZeroLetterEndsTheLogLine) {
  PackageSpec spec = Versions();
  spec.formatLetter = 0;
  scope.PutPackage(spec);
  ReadVersionBlock(scope.fake, kPackagePath, scope.job, versions, "", "");
  const std::vector<std::string> lines = scope.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  this fwp version is V1.9 "), lines.end());
}

TEST_F(ReadVersionBlockTest, MissingKeywordOneKeepsValuesAndBoxTexts) {
  versions.versionBlock.formatVersion = 1;
  versions.versionBlock.formatRevision = 5;
  versions.fwpVersion = 1005;
  PackageSpec spec = Versions();
  spec.formatVersion.reset();
  scope.PutPackage(spec);
  const VersionTexts texts =
      ReadVersionBlock(scope.fake, kPackagePath, scope.job, versions, "E box", "P box");
  EXPECT_TRUE(texts.opened);
  EXPECT_FALSE(texts.found);
  EXPECT_EQ(texts.engineText, "E box");
  EXPECT_EQ(texts.panelText, "P box");
  EXPECT_EQ(versions.fwpVersion, 1005);
  const std::vector<std::string> expected = {"GetFWPVerRev",
                                             "  searching for fwp version information.",
                                             "  ",
                                             "  this fwp version is V1.5 ",
                                             "  and was created by fwp generator V0.0 ",
                                             "E box",
                                             "P box"};
  EXPECT_EQ(scope.LogLines(), expected);
}

TEST_F(ReadVersionBlockTest, AFileThatCannotBeOpenedIsShownAndChangesNothing) {
  versions.fwpVersion = 1003;
  const VersionTexts texts =
      ReadVersionBlock(scope.fake, "C:\\WORK\\MISSING.FWP", scope.job, versions, "E", "P");
  EXPECT_FALSE(texts.opened);
  EXPECT_EQ(texts.engineText, "E");
  EXPECT_EQ(versions.fwpVersion, 1003);
  ASSERT_EQ(scope.prompt.messages().size(), 1u);
  EXPECT_EQ(scope.prompt.messages()[0], "FWP file could not be opened!\r\nC:\\WORK\\MISSING.FWP");
  const std::vector<std::string> expected = {"GetFWPVerRev",
                                             "  could not open the fwp file: C:\\WORK\\MISSING.FWP"};
  EXPECT_EQ(scope.LogLines(), expected);
}

TEST_F(ReadVersionBlockTest, ATruncatedBlockKeepsWhatWasReadAndTheOtherBox) {
  const std::string bytes = BuildPackage(Versions());
  scope.fake.WriteFile(kPackagePath, bytes.substr(0, bytes.find("Panel Software Revision: ")));
  const VersionTexts texts =
      ReadVersionBlock(scope.fake, kPackagePath, scope.job, versions, "E", "P");
  EXPECT_EQ(texts.engineText, "Engine Software Version: 2.015B");
  EXPECT_EQ(texts.panelText, "P");
  EXPECT_EQ(versions.fwpVersion, 1009);
  const std::vector<std::string> lines = scope.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  the fwp file ends inside its version block."),
            lines.end());
}

// A large package's version block is read from the head of the file; whenever the head is not
// enough (a line or the block running past it) the whole file is read, so the result is
// always the one the whole file gives.
class VersionBlockHeadTest : public ::testing::Test {
 protected:
  // What ReadVersionBlock shows, next to what a parse of the whole file gives.
  void ExpectSameAsWholeFile(const PackageSpec& spec) {
    const std::string bytes = scope.PutPackage(spec);
    ASSERT_GT(bytes.size(), 512u * 1024);
    const VersionTexts texts =
        ReadVersionBlock(scope.fake, kPackagePath, scope.job, versions, "old", "old");
    const VersionBlockRead whole =
        ParseVersionBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(texts.opened);
    EXPECT_EQ(texts.found, whole.found);
    ASSERT_TRUE(whole.engine && whole.panel);
    EXPECT_EQ(texts.engineText, ComposeVersionText(kEngineVersionPrefix, *whole.engine));
    EXPECT_EQ(texts.panelText, ComposeVersionText(kPanelVersionPrefix, *whole.panel));
    EXPECT_EQ(versions.versionBlock.generatorRevision, *whole.generatorRevision);
  }
  JobScope scope;
  PackageVersions versions;
};

TEST_F(VersionBlockHeadTest, ALargePackageGivesTheWholeFilesVersions) {
  ExpectSameAsWholeFile(Large());
  EXPECT_EQ(versions.fwpVersion, 1009);
}

TEST_F(VersionBlockHeadTest, AFirstLineLongerThanTheHeadIsReadFromTheWholeFile) {
  ExpectSameAsWholeFile(Large(std::string(400 * 1024, 'T')));
  EXPECT_EQ(versions.versionBlock.generatorVersion, 3);
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
  EXPECT_EQ(versions.fwpVersion, 1009);
}

}  // namespace
}  // namespace cw
