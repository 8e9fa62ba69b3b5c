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

class BasicFlashCheckTest : public test::JobFixture {
 protected:
  bool Check() { return BasicFlashCheck(fake, state, state.globalFlashPath, card); }
  CardFacts card;
};

TEST_F(BasicFlashCheckTest, CardOfExactly2GiBPasses) {
  fake.AddDrive('E', DriveType::Removable, "FAT16", kTwoGiB);
  EXPECT_TRUE(Check());
  EXPECT_EQ(card.cardTotalBytes, kTwoGiB);
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
  EXPECT_FALSE(Check());
  EXPECT_TRUE(Logged("    total CF space: 2147483649"));
  EXPECT_TRUE(Logged("  compact flash is too big."));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, kTooBig);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
}

TEST_F(BasicFlashCheckTest, CapacityBeyond32BitsIsRefused) {
  fake.AddDrive('E', DriveType::Removable, "FAT", (1ull << 32) + 512);
  EXPECT_FALSE(Check());
  EXPECT_TRUE(Logged("    total CF space: 4294967808"));
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kTooBig});
}

TEST_F(BasicFlashCheckTest, FatAndFat16PassOtherNamesAreRefused) {
  for (const char* fs : {"FAT", "FAT16"}) {
    SCOPED_TRACE(fs);
    fake.AddDrive('E', DriveType::Removable, fs, 64ull << 20);
    EXPECT_TRUE(Check());
  }
  EXPECT_EQ(prompt.Count(), 0u);
  for (const char* fs : {"FAT32", "fat", "FAT16 ", "NTFS", "EXFAT"}) {
    SCOPED_TRACE(fs);
    fake.AddDrive('E', DriveType::Removable, fs, 64ull << 20);
    EXPECT_FALSE(Check());
  }
  EXPECT_EQ(prompt.Count(kBadFat), 5u);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
  EXPECT_TRUE(Logged("    file system type: FAT32"));
  EXPECT_TRUE(Logged("  bad FAT type."));
}

TEST_F(BasicFlashCheckTest, CardWithoutCapacityIsNotDetected) {
  fake.AddDrive('E', DriveType::Removable, "FAT", 0);
  EXPECT_FALSE(Check());
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, kNoCard);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(Logged("  no flash detected."));
  EXPECT_FALSE(Logged("  bad FAT type."));
}

TEST_F(BasicFlashCheckTest, FailedQueryKeepsThePreviousCapacity) {
  state.globalFlashPath = "R:";  // no such drive
  EXPECT_FALSE(Check());
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kNoCard});

  card.cardTotalBytes = 12345;
  EXPECT_FALSE(Check());
  EXPECT_EQ(card.cardTotalBytes, 12345u);
  EXPECT_EQ(prompt.Count(kBadFat), 1u);
  EXPECT_TRUE(Logged("    total CF space: 12345"));
  EXPECT_TRUE(Logged("    file system type: "));
}

TEST_F(BasicFlashCheckTest, QueriesTheRootOfTheCardPath) {
  fake.AddDrive('E', DriveType::Removable, "FAT", 1 << 20);
  state.globalFlashPath = "E:\\BREVANT";
  EXPECT_TRUE(Check());
  EXPECT_EQ(fake.CallCount("GetDiskSpace", "E:\\"), 1u);
}

class GetCFInfoTest : public test::JobFixture {
 protected:
  GetCFInfoTest() { fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20); }
  void Inspect() {
    card = GetCFInfo(fake, state, state.cardFileList, request.target == TargetChoice::kPanel, card);
  }
  CardFacts card;
};

TEST_F(GetCFInfoTest, LastMatchingFileDecides) {
  state.cardFileList = {"E:\\NK.NBG", "E:\\UPGRADE.FWP"};
  Inspect();
  EXPECT_EQ(card.targetType, kTargetEngine);
  EXPECT_EQ(card.osOnCard, 0);
  EXPECT_TRUE(Logged("  target type: 1"));
  EXPECT_TRUE(Logged("  WinCE on flash: No"));

  state.cardFileList = {"E:\\UPGRADE.FWP", "E:\\NK.NBG"};
  Inspect();
  EXPECT_EQ(card.targetType, kTargetPanel3950);
  EXPECT_EQ(card.osOnCard, 1);
  EXPECT_TRUE(Logged("  target type: 3"));
  EXPECT_TRUE(Logged("  WinCE on flash: Yes"));

  state.cardFileList = {"E:\\FWP_3950.FWP", "E:\\NK.BIN"};
  Inspect();
  EXPECT_EQ(card.targetType, kTargetPanel3940);
}

TEST_F(GetCFInfoTest, StoredPackageTestsComeAfterOsImageTestsWithinOnePath) {
  state.cardFileList = {"E:\\NK.NBG\\UPGRADE.FWP"};
  Inspect();
  EXPECT_EQ(card.targetType, kTargetEngine);
  state.cardFileList = {"E:\\NK.BIN.NK.NBG"};
  Inspect();
  EXPECT_EQ(card.targetType, kTargetPanel3950);
}

TEST_F(GetCFInfoTest, OtherPackagesAreCollectedAndStoredCopiesAreNot) {
  card.otherPackageFiles = {"E:\\FROM_AN_EARLIER_SCAN.FWP"};
  state.cardFileList = {"E:\\UPGRADE.FWP",          "E:\\FWP_3950.FWP",   "E:\\BACKUP.FWP",
                        "E:\\OLD\\UPGRADE_OLD.FWP", "E:\\PKG\\SPARE.FWP", "E:\\README.TXT"};
  Inspect();
  EXPECT_EQ(card.otherPackageFiles,
            (std::vector<std::string>{"E:\\BACKUP.FWP", "E:\\PKG\\SPARE.FWP"}));
  EXPECT_EQ(card.targetType, kTargetEngine);
}

TEST_F(GetCFInfoTest, KeptBytesCountOnlyOpenableProtectedFilesWhenPanelSelected) {
  fake.WriteFile("E:\\BREVANT\\BPANEL.INI", std::string(100, 'b'));
  fake.WriteFile("E:\\BREVANT\\PUBLIC\\DATA.BIN", std::string(1000, 'd'));
  fake.WriteFile("E:\\BREVANT\\APP.EXE", std::string(50, 'a'));
  state.cardFileList = {"E:\\BREVANT\\BPANEL.INI", "E:\\BREVANT\\PUBLIC\\DATA.BIN",
                        "E:\\BREVANT\\APP.EXE", "E:\\BREVANT\\WD\\GONE.TXT"};
  card.keptBytes = 7;

  Inspect();
  EXPECT_EQ(card.keptBytes, 7u);
  EXPECT_EQ(fake.CallCount("OpenFile", "E:\\BREVANT\\BPANEL.INI"), 0u);

  request.target = TargetChoice::kPanel;
  Inspect();
  EXPECT_EQ(card.keptBytes, 7u + 100u + 1000u);  // added to, never reset here
  EXPECT_EQ(fake.CallCount("OpenFile", "E:\\BREVANT\\APP.EXE"), 0u);
  EXPECT_EQ(fake.CallCount("OpenFile", "E:\\BREVANT\\WD\\GONE.TXT"), 1u);
}

TEST_F(GetCFInfoTest, CardWithoutRecognisedFilesKeepsTheTargetType) {
  state.cardFileList = {"E:\\BREVANT\\APP.EXE", "E:\\AUTOEXEC.BAT"};
  card.targetType = kTargetEngine;
  Inspect();
  EXPECT_EQ(card.targetType, kTargetEngine);
  EXPECT_EQ(card.osOnCard, 0);

  card.targetType = kTargetUnknown;
  state.cardFileList.clear();
  Inspect();
  EXPECT_EQ(card.targetType, kTargetUnknown);
  EXPECT_TRUE(Logged("  target type: 0"));
}

TEST_F(GetCFInfoTest, OsOnCardIsNeverClearedHere) {
  card.osOnCard = 1;
  state.cardFileList = {"E:\\UPGRADE.FWP"};
  Inspect();
  EXPECT_EQ(card.osOnCard, 1);
  EXPECT_EQ(LogLines().front(), "GetCFInfo");
  EXPECT_EQ(LogLines().back(), "  WinCE on flash: Yes");
}

}  // namespace
}  // namespace cw
