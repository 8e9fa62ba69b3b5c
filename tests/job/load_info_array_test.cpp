#include "job/load_info_array.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "card/wd_crc_list.h"
#include "record/job_state.h"
#include "package/crc_list_writer.h"
#include "package/file_table.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::JobScope;
using test::kPackagePath;
using test::MakeFile;

std::vector<int32_t> Kinds(const LoadedPackage& package) {
  std::vector<int32_t> kinds;
  for (const FILE_INFO_STRUCT& record : package.fileTable) kinds.push_back(record.kind);
  return kinds;
}

std::vector<std::string> CardPaths(const LoadedPackage& package) {
  std::vector<std::string> paths;
  for (const FILE_INFO_STRUCT& record : package.fileTable)
    paths.push_back(FieldText(record.cardPath));
  return paths;
}

// One file of every kind, each with its own size (kind × 100 bytes).
PackageSpec EveryKind() {
  PackageSpec spec;
  for (int32_t kind : {2, 3, 5, 7, 9, 10, 11, 12, 13, 14, 15}) {
    spec.files.push_back(
        MakeFile(kind, "K" + std::to_string(kind) + ".BIN", std::string(kind * 100, 'k')));
  }
  return spec;
}

class LoadInfoArrayTest : public ::testing::Test {
 protected:
  void Storing() { reference = Reference::kStoring; }
  void VerifyingWithPackage() { reference = Reference::kPackage; }
  bool Load() {
    return LoadInfoArray(scope.state, package, reference, scope.state.globalFWPDataFilePath);
  }
  // The job refused with exactly this message, recorded in the transcript too.
  void ExpectRefused(const std::string& message) {
    ASSERT_EQ(scope.prompt.messages().size(), 1u);
    EXPECT_EQ(scope.prompt.messages()[0], message);
    EXPECT_EQ(scope.prompt.calls()[0].icon, MessageIcon::Exclamation);
    EXPECT_NE(scope.job.diagnosticsText.Get().find(message), std::string::npos);
    EXPECT_TRUE(scope.FileClosed());
  }

  JobScope scope;
  LoadedPackage package;
  Reference reference = Reference::kCard;
};

TEST_F(LoadInfoArrayTest, RoundTripYieldsTheWrittenRecordsAndHeaderValues) {
  PackageSpec spec = EveryKind();
  spec.headerWords = {7, 1, 2, 3, 4, -5};
  spec.releaseNumber = 1234;
  spec.winceIncluded = 1;
  PackageLayout layout;
  scope.fake.WriteFile(kPackagePath, BuildPackage(spec, &layout));
  Storing();
  scope.state.targetType = kTargetEngine;
  ASSERT_TRUE(Load());
  ASSERT_EQ(package.fileTable.size(), layout.records.size());
  for (size_t i = 0; i < package.fileTable.size(); ++i) {
    EXPECT_TRUE(test::SameRecord(package.fileTable[i], layout.records[i])) << i;
  }
  EXPECT_EQ(package.headerWords[0], 7);
  EXPECT_EQ(package.headerWords[1], 1);
  EXPECT_EQ(package.headerWords[5], -5);
  EXPECT_EQ(package.releaseNumber, 1234);
  EXPECT_EQ(package.osInPackage, 1);
  EXPECT_EQ(package.has3950Support, 0);
  EXPECT_EQ(package.packageBytes, 0u);  // nothing counts on an Engine target
  EXPECT_TRUE(scope.FileClosed());
  EXPECT_EQ(scope.prompt.Count(), 0u);
  const std::vector<std::string> lines = scope.LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "LoadInfoArray");
  EXPECT_EQ(lines[1], "VerifyFWPFile");
}

TEST_F(LoadInfoArrayTest, EachTargetTakesItsKinds) {
  scope.PutPackage(EveryKind());
  Storing();
  scope.state.targetType = kTargetPanel3940;
  ASSERT_TRUE(Load());
  EXPECT_EQ(Kinds(package), (std::vector<int32_t>{2, 3, 5, 7, 10, 11, 13, 14, 15}));
  scope.state.targetType = kTargetPanel3950;
  ASSERT_TRUE(Load());
  EXPECT_EQ(Kinds(package), (std::vector<int32_t>{2, 5, 7, 9, 10, 12, 13, 14, 15}));
  scope.state.targetType = kTargetEngine;
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.fileTable.size(), 11u);
  scope.state.targetType = kTargetUnknown;
  ASSERT_TRUE(Load());
  EXPECT_TRUE(package.fileTable.empty());
}

TEST_F(LoadInfoArrayTest, PackageBytesSumsTheTargetPanelsFilesButNotTheOSImage) {
  PackageSpec spec = EveryKind();
  spec.files.push_back(MakeFile(11, "NK.BIN", std::string(5000, 'n')));
  spec.files.push_back(MakeFile(12, "NK.NBG", std::string(7000, 'n')));
  scope.PutPackage(spec);
  Storing();
  scope.state.targetType = kTargetPanel3940;
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.packageBytes, 300u + 1100u + 1400u);
  const std::vector<std::string> paths = CardPaths(package);
  EXPECT_NE(std::find(paths.begin(), paths.end(), "NK.BIN"), paths.end());  // taken, not counted

  package.packageBytes = 0;
  scope.state.targetType = kTargetPanel3950;
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.packageBytes, 900u + 1200u + 1400u);

  // The loader only adds; the job zeroes it.
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.packageBytes, 2u * (900u + 1200u + 1400u));
}

TEST_F(LoadInfoArrayTest, ATenZeroPackageAddsNothingToPackageBytes) {
  PackageSpec spec = EveryKind();
  spec.headerWords = {10, 0, 0, 0, 0, 0};
  scope.PutPackage(spec);
  Storing();
  scope.state.targetType = kTargetPanel3940;
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.packageBytes, 0u);
  EXPECT_EQ(package.fileTable.size(), 9u);
}

TEST_F(LoadInfoArrayTest, BootBitmapOfTheOtherModelIsTakenAsKind9OnlyUnderTheTenZeroRule) {
  PackageSpec spec;
  spec.headerWords = {10, 0, 0, 0, 0, 0};
  spec.files = {PackageFileSpec{.kind = 3, .cardPath = "SPLASH.BMP", .checkPath = "\\x\\boot.bmp",
                                .content = "3940 boot"},
                PackageFileSpec{.kind = 12, .cardPath = "LOGO.BMP", .checkPath = "BOOT.BMP",
                                .content = "3950 boot"}};
  scope.PutPackage(spec);
  Storing();
  scope.state.targetType = kTargetPanel3950;
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"SPLASH.BMP", "LOGO.BMP"}));
  EXPECT_EQ(Kinds(package), (std::vector<int32_t>{9, 12}));

  scope.state.targetType = kTargetPanel3940;  // the rule is for 3950 cards only
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"SPLASH.BMP"}));
  EXPECT_EQ(Kinds(package), (std::vector<int32_t>{3}));

  spec.winceIncluded = 1;  // the package carries the OS image
  scope.PutPackage(spec);
  scope.state.targetType = kTargetPanel3950;
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"LOGO.BMP"}));

  spec.winceIncluded = 0;
  spec.headerWords = {10, 1, 0, 0, 0, 0};  // not a 10/0 package
  scope.PutPackage(spec);
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"LOGO.BMP"}));
}

TEST_F(LoadInfoArrayTest, CRCExemptRecordsAreLeftOutOnlyWhenNotStoring) {
  PackageSpec spec;
  spec.files = {MakeFile(2, "APP.BIN"),
                PackageFileSpec{.kind = 2, .cardPath = "DOC.TXT", .checkPath = "\\Public\\doc.txt"},
                MakeFile(14, "CONFIG\\BPANEL.INI")};
  scope.PutPackage(spec);
  scope.state.targetType = kTargetEngine;
  VerifyingWithPackage();
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"APP.BIN"}));
  Storing();
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.fileTable.size(), 3u);
}

TEST_F(LoadInfoArrayTest, ACountOfZeroLoadsAnEmptyTable) {
  package.fileTable.push_back(FILE_INFO_STRUCT{});
  scope.PutPackage(PackageSpec{});
  Storing();
  scope.state.targetType = kTargetPanel3940;
  EXPECT_TRUE(Load());
  EXPECT_TRUE(package.fileTable.empty());
}

TEST_F(LoadInfoArrayTest, HeaderKeywordsAreFoundInAnyCaseAnywhereInALine) {
  std::string bytes = BuildPackage(PackageSpec{.winceIncluded = 1});
  bytes.replace(bytes.find("WINCE INCLUDED: "), 16, "wince included: ");
  bytes.insert(bytes.find("wince included: "), "Flag ");
  bytes.insert(bytes.find("NUMBER OF FILES: "), "The ");
  scope.fake.WriteFile(kPackagePath, bytes.replace(0, 4, "\0\0\0\0", 4));
  Storing();
  scope.state.targetType = kTargetEngine;
  EXPECT_TRUE(Load());
  EXPECT_EQ(package.osInPackage, 1);
}

TEST_F(LoadInfoArrayTest, PanelSupportCountsOnlyBetweenTheTwoKeywords) {
  Storing();
  scope.state.targetType = kTargetEngine;
  scope.PutPackage(PackageSpec{.title = "3950 PANEL SUPPORT"});
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.has3950Support, 0);
  scope.PutPackage(PackageSpec{.panel3950Support = true});
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.has3950Support, 1);
  scope.PutPackage(PackageSpec{});
  ASSERT_TRUE(Load());
  EXPECT_EQ(package.has3950Support, 1);  // never cleared here
}

TEST_F(LoadInfoArrayTest, MissingPackageIsRefused) {
  Storing();
  EXPECT_FALSE(Load());
  ExpectRefused("FWP file not found!\r\n");
}

TEST_F(LoadInfoArrayTest, PackageThatDoesNotOpenIsRefused) {
  scope.PutPackage(EveryKind());
  scope.fake.FailCall("OpenFile", kErrAccessDenied, 1, kPackagePath);
  Storing();
  EXPECT_FALSE(Load());
  ExpectRefused("FWP file not writable!\r\n");
}

TEST_F(LoadInfoArrayTest, CRCMismatchIsRefusedAndAZeroCRCIsNotChecked) {
  std::string bytes = BuildPackage(EveryKind());
  bytes[bytes.size() - 1] ^= 0x01;
  scope.fake.WriteFile(kPackagePath, bytes);
  Storing();
  scope.state.targetType = kTargetEngine;
  EXPECT_FALSE(Load());
  ExpectRefused("FWP file failed CRC test!\r\n");
  EXPECT_TRUE(package.fileTable.empty());

  scope.fake.WriteFile(kPackagePath, bytes.replace(0, 4, "\0\0\0\0", 4));
  EXPECT_TRUE(Load());
  EXPECT_EQ(package.fileTable.size(), 11u);
}

TEST_F(LoadInfoArrayTest, MissingWinceLineIsAnInvalidFormat) {
  Storing();
  scope.PutPackage(PackageSpec{.winceIncluded = std::nullopt});
  EXPECT_FALSE(Load());
  ExpectRefused("Invalid FWP File Format!");
}

TEST_F(LoadInfoArrayTest, MissingFileCountIsAnInvalidFormatAfterTheWinceValueIsTaken) {
  Storing();
  std::string bytes = BuildPackage(PackageSpec{.winceIncluded = 3, .setCrc = false});
  bytes.replace(bytes.find("NUMBER OF FILES: "), 17, "NUMBER OF FILES- ");
  scope.fake.WriteFile(kPackagePath, bytes);
  EXPECT_FALSE(Load());
  ExpectRefused("Invalid FWP File Format!\r\n");
  EXPECT_EQ(package.osInPackage, 3);
}

TEST_F(LoadInfoArrayTest, WinceLineBeyondLine1001IsNotFound) {
  Storing();
  std::string title = "T";
  for (int i = 0; i < 1001; ++i) title += "\r\nX";
  scope.PutPackage(PackageSpec{.title = title});
  EXPECT_FALSE(Load());
  EXPECT_EQ(scope.prompt.messages()[0], "Invalid FWP File Format!");
}

// --- Stored-copy mode: an Engine card verified without a package ---

class StoredCopyTest : public LoadInfoArrayTest {
 protected:
  void SetUp() override { scope.state.targetType = kTargetEngine; }
};

TEST_F(StoredCopyTest, TheThreeNinetyFiftyCopyWinsWhenBothAreOnTheCard) {
  scope.PutPackage(PackageSpec{.releaseNumber = 1, .files = {MakeFile(2, "A.BIN")}},
                   "E:\\UPGRADE.FWP");
  scope.PutPackage(PackageSpec{.releaseNumber = 2, .files = {MakeFile(9, "B.BIN")}},
                   "E:\\FWP_3950.FWP");
  ASSERT_TRUE(Load());
  EXPECT_EQ(scope.state.globalFWPDataFilePath, kPackagePath);  // the job's path, unchanged
  EXPECT_EQ(package.has3950Support, 1);
  EXPECT_EQ(package.releaseNumber, 2);
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"B.BIN"}));
}

TEST_F(StoredCopyTest, TheEngineCopyIsUsedAlone) {
  scope.PutPackage(PackageSpec{.releaseNumber = 1, .files = {MakeFile(2, "A.BIN")}},
                   "E:\\upgrade.fwp");
  ASSERT_TRUE(Load());
  EXPECT_EQ(scope.state.globalFWPDataFilePath, kPackagePath);
  EXPECT_EQ(package.has3950Support, 0);
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"A.BIN"}));
}

TEST_F(StoredCopyTest, OnlyAThreeNinetyFiftyCopyIsNotEnoughAndTheTableIsKept) {
  scope.PutPackage(PackageSpec{}, "E:\\FWP_3950.FWP");
  package.fileTable.push_back(FILE_INFO_STRUCT{});
  EXPECT_FALSE(Load());
  ExpectRefused("Stored FWP file not found on flash.");
  EXPECT_EQ(package.fileTable.size(), 1u);
  EXPECT_EQ(scope.state.globalFWPDataFilePath, kPackagePath);
}

// --- CRC-list mode: a panel card verified without a package ---

using CRCListModeTest = LoadInfoArrayTest;

TEST_F(CRCListModeTest, PanelTablesComeFromTheCardsListWithoutExemptFiles) {
  scope.state.targetType = kTargetPanel3940;
  scope.fake.WriteFile("E:\\Quorvane File CRCs.dat",
                       BuildCRCList({{"\\HARDDISK\\Brevant\\App.exe", 0x11111111},
                                     {"\\HARDDISK\\Public\\notes.txt", 0x22222222},
                                     {"\\HARDDISK\\NK.BIN", 0x33333333},
                                     {"Fonts\\A.TTF", 0x0A0D0A0D}}));
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"BREVANT\\APP.EXE", "FONTS\\A.TTF"}));
  EXPECT_EQ(Kinds(package), (std::vector<int32_t>{3, 3}));
  EXPECT_EQ(package.fileTable[1].fileCrc, 0x0A0D0A0Du);
}

TEST_F(CRCListModeTest, A3950PanelReadsItsOwnListAndAMissingListIsRefused) {
  scope.state.targetType = kTargetPanel3950;
  scope.fake.WriteFile("E:\\Quorvane File CRCs.dat", BuildCRCList({{"A.BIN", 1}}));
  EXPECT_FALSE(Load());
  ExpectRefused("Stored CRC file could not be opened.");
  scope.fake.WriteFile("E:\\Quorvane File CRCs 3950.dat", BuildCRCList({{"B.BIN", 2}}));
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"B.BIN"}));
  EXPECT_EQ(Kinds(package), (std::vector<int32_t>{9}));
}

TEST_F(CRCListModeTest, TheSecondListIsAppendedWhenNotStoring) {
  scope.state.targetType = kTargetPanel3940;
  scope.fake.WriteFile("E:\\Quorvane File CRCs.dat", BuildCRCList({{"A.BIN", 1}}));
  scope.fake.WriteFile("E:\\WD\\CRCFile.txt", BuildCRCList({{"WD\\W.DAT", 7}}));
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"A.BIN", "WD\\W.DAT"}));
  // The second list is the one at "\WD\CRCFile.txt" below the card path.
  EXPECT_GE(scope.fake.CallCount("OpenFile", "E:\\WD\\CRCFile.txt"), 1u);
  const std::vector<std::string> lines = scope.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  and it is."), lines.end());

  // With a package, during a store, the second list is not read.
  scope.PutPackage(PackageSpec{.files = {MakeFile(3, "P.BIN")}});
  Storing();
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"P.BIN"}));
}

TEST_F(CRCListModeTest, TheSecondListFollowsAPackageInAVerifyJob) {
  scope.state.targetType = kTargetEngine;
  scope.PutPackage(PackageSpec{.files = {MakeFile(2, "E.BIN")}});
  scope.fake.WriteFile("E:\\WD\\CRCFile.txt", BuildCRCList({{"WD\\W.DAT", 7}}));
  VerifyingWithPackage();
  ASSERT_TRUE(Load());
  EXPECT_EQ(CardPaths(package), (std::vector<std::string>{"E.BIN", "WD\\W.DAT"}));
  EXPECT_EQ(Kinds(package), (std::vector<int32_t>{2, 0}));  // no panel kind on an Engine card
}

}  // namespace
}  // namespace cw
