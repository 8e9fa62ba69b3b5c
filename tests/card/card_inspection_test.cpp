#include "card/card_inspection.h"

#include <gtest/gtest.h>

#include "support/job_fixture.h"

namespace cw {
namespace {

constexpr uint64_t kTwoGiB = 2147483648ull;
const char kNoCard[] = "A compact flash was not detected in the drive.";
const char kBadFat[] =
    "The compact flash has an incompatible FAT type.\n"
    "Please use Windows to reformat the compact flash to FAT16";
const char kTooBig[] =
    "The compact flash size exceeds the engine file system's capability.\r\nDownload terminated.";

class BasicFlashCheckTest : public test::JobFixture {};

TEST_F(BasicFlashCheckTest, CardOfExactly2GiBPasses) {
  fake.AddDrive('E', DriveType::Removable, "FAT16", kTwoGiB);
  EXPECT_TRUE(BasicFlashCheck(state));
  EXPECT_EQ(state.cardTotalBytes, kTwoGiB);
  EXPECT_EQ(prompt.Count(), 0u);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"BasicFlashCheck", "  flash information:",
                                                  "    total CF space: 2147483648",
                                                  "    file system type: FAT16",
                                                  "  compact flash looks okay."}));
  EXPECT_EQ(fake.CallCount("GetVolumeInformation", "E:\\"), 1u);
  EXPECT_EQ(fake.CallCount("GetDiskSpace", "E:\\"), 1u);
}

TEST_F(BasicFlashCheckTest, OneByteMoreThan2GiBIsRefusedWithItsFullSizeLogged) {
  fake.AddDrive('E', DriveType::Removable, "FAT", kTwoGiB + 1);
  EXPECT_FALSE(BasicFlashCheck(state));
  EXPECT_TRUE(Logged("    total CF space: 2147483649"));
  EXPECT_TRUE(Logged("  compact flash is too big."));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, kTooBig);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
}

TEST_F(BasicFlashCheckTest, CapacityBeyond32BitsIsRefused) {
  fake.AddDrive('E', DriveType::Removable, "FAT", (1ull << 32) + 512);
  EXPECT_FALSE(BasicFlashCheck(state));
  EXPECT_TRUE(Logged("    total CF space: 4294967808"));
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kTooBig});
}

TEST_F(BasicFlashCheckTest, FatAndFat16PassOtherNamesAreRefused) {
  for (const char* fs : {"FAT", "FAT16"}) {
    SCOPED_TRACE(fs);
    fake.AddDrive('E', DriveType::Removable, fs, 64ull << 20);
    EXPECT_TRUE(BasicFlashCheck(state));
  }
  EXPECT_EQ(prompt.Count(), 0u);
  for (const char* fs : {"FAT32", "fat", "FAT16 ", "NTFS", "EXFAT"}) {
    SCOPED_TRACE(fs);
    fake.AddDrive('E', DriveType::Removable, fs, 64ull << 20);
    EXPECT_FALSE(BasicFlashCheck(state));
  }
  EXPECT_EQ(prompt.Count(kBadFat), 5u);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
  EXPECT_TRUE(Logged("    file system type: FAT32"));
  EXPECT_TRUE(Logged("  bad FAT type."));
}

TEST_F(BasicFlashCheckTest, CardWithoutCapacityIsNotDetected) {
  fake.AddDrive('E', DriveType::Removable, "FAT", 0);
  EXPECT_FALSE(BasicFlashCheck(state));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, kNoCard);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(Logged("  no flash detected."));
  EXPECT_FALSE(Logged("  bad FAT type."));
}

TEST_F(BasicFlashCheckTest, FailedQueryKeepsThePreviousCapacity) {
  state.globalFlashPath = "R:";  // no such drive
  EXPECT_FALSE(BasicFlashCheck(state));
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kNoCard});

  state.cardTotalBytes = 12345;
  EXPECT_FALSE(BasicFlashCheck(state));
  EXPECT_EQ(state.cardTotalBytes, 12345u);
  EXPECT_EQ(prompt.Count(kBadFat), 1u);
  EXPECT_TRUE(Logged("    total CF space: 12345"));
  EXPECT_TRUE(Logged("    file system type: "));
}

TEST_F(BasicFlashCheckTest, QueriesTheRootOfTheCardPath) {
  fake.AddDrive('E', DriveType::Removable, "FAT", 1 << 20);
  state.globalFlashPath = "E:\\BREVANT";
  EXPECT_TRUE(BasicFlashCheck(state));
  EXPECT_EQ(fake.CallCount("GetDiskSpace", "E:\\"), 1u);
}

class GetCFInfoTest : public test::JobFixture {
 protected:
  GetCFInfoTest() { fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20); }
};

TEST_F(GetCFInfoTest, LastMatchingFileDecides) {
  state.cardFileList = {"E:\\NK.NBG", "E:\\UPGRADE.FWP"};
  GetCFInfo(state);
  EXPECT_EQ(state.targetType, kTargetEngine);
  EXPECT_EQ(state.osOnCard, 0);
  EXPECT_TRUE(Logged("  target type: 1"));
  EXPECT_TRUE(Logged("  WinCE on flash: No"));

  state.cardFileList = {"E:\\UPGRADE.FWP", "E:\\NK.NBG"};
  GetCFInfo(state);
  EXPECT_EQ(state.targetType, kTargetPanel3950);
  EXPECT_EQ(state.osOnCard, 1);
  EXPECT_TRUE(Logged("  target type: 3"));
  EXPECT_TRUE(Logged("  WinCE on flash: Yes"));

  state.cardFileList = {"E:\\FWP_3950.FWP", "E:\\NK.BIN"};
  GetCFInfo(state);
  EXPECT_EQ(state.targetType, kTargetPanel3940);
}

TEST_F(GetCFInfoTest, StoredPackageTestsComeAfterOsImageTestsWithinOnePath) {
  state.cardFileList = {"E:\\NK.NBG\\UPGRADE.FWP"};
  GetCFInfo(state);
  EXPECT_EQ(state.targetType, kTargetEngine);
  state.cardFileList = {"E:\\NK.BIN.NK.NBG"};
  GetCFInfo(state);
  EXPECT_EQ(state.targetType, kTargetPanel3950);
}

TEST_F(GetCFInfoTest, OtherPackagesAreCollectedAndStoredCopiesAreNot) {
  state.otherPackageFiles = {"E:\\FROM_AN_EARLIER_SCAN.FWP"};
  state.cardFileList = {"E:\\UPGRADE.FWP",          "E:\\FWP_3950.FWP",   "E:\\BACKUP.FWP",
                        "E:\\OLD\\UPGRADE_OLD.FWP", "E:\\PKG\\SPARE.FWP", "E:\\README.TXT"};
  GetCFInfo(state);
  EXPECT_EQ(state.otherPackageFiles,
            (std::vector<std::string>{"E:\\BACKUP.FWP", "E:\\PKG\\SPARE.FWP"}));
  EXPECT_EQ(state.targetType, kTargetEngine);
}

TEST_F(GetCFInfoTest, KeptBytesCountOnlyOpenableProtectedFilesWhenPanelSelected) {
  fake.WriteFile("E:\\BREVANT\\BPANEL.INI", std::string(100, 'b'));
  fake.WriteFile("E:\\BREVANT\\PUBLIC\\DATA.BIN", std::string(1000, 'd'));
  fake.WriteFile("E:\\BREVANT\\APP.EXE", std::string(50, 'a'));
  state.cardFileList = {"E:\\BREVANT\\BPANEL.INI", "E:\\BREVANT\\PUBLIC\\DATA.BIN",
                        "E:\\BREVANT\\APP.EXE", "E:\\BREVANT\\WD\\GONE.TXT"};
  state.keptBytes = 7;

  GetCFInfo(state);
  EXPECT_EQ(state.keptBytes, 7u);
  EXPECT_EQ(fake.CallCount("OpenFile", "E:\\BREVANT\\BPANEL.INI"), 0u);

  job.panelSelected = 1;
  GetCFInfo(state);
  EXPECT_EQ(state.keptBytes, 7u + 100u + 1000u);  // added to, never reset here
  EXPECT_EQ(fake.CallCount("OpenFile", "E:\\BREVANT\\APP.EXE"), 0u);
  EXPECT_EQ(fake.CallCount("OpenFile", "E:\\BREVANT\\WD\\GONE.TXT"), 1u);
}

TEST_F(GetCFInfoTest, CardWithoutRecognisedFilesKeepsTheTargetType) {
  state.cardFileList = {"E:\\BREVANT\\APP.EXE", "E:\\AUTOEXEC.BAT"};
  state.targetType = kTargetEngine;
  GetCFInfo(state);
  EXPECT_EQ(state.targetType, kTargetEngine);
  EXPECT_EQ(state.osOnCard, 0);

  state.targetType = kTargetUnknown;
  state.cardFileList.clear();
  GetCFInfo(state);
  EXPECT_EQ(state.targetType, kTargetUnknown);
  EXPECT_TRUE(Logged("  target type: 0"));
}

TEST_F(GetCFInfoTest, OsOnCardIsNeverClearedHere) {
  state.osOnCard = 1;
  state.cardFileList = {"E:\\UPGRADE.FWP"};
  GetCFInfo(state);
  EXPECT_EQ(state.osOnCard, 1);
  EXPECT_EQ(LogLines().front(), "GetCFInfo");
  EXPECT_EQ(LogLines().back(), "  WinCE on flash: Yes");
}

}  // namespace
}  // namespace cw
