// Drives as Windows reports them: the card the Wine driver maps as a removable drive, its
// file system and capacity, unused letters, and the overrides of explicit mappings.
#include <algorithm>
#include <cstdlib>

#include "win32_fixture.h"

namespace cw::test {
namespace {

class Win32Drives : public Win32Test {
 protected:
  void SetUp() override {
    card = CardDrive();
    if (card.empty()) GTEST_SKIP() << "CARDWRIGHT_WINE_CARD is not set: no removable card drive";
  }
  // A letter that names no drive.
  std::string UnusedRoot() {
    const std::vector<std::string> roots = platform->LogicalDriveStrings();
    for (char letter = 'Z'; letter >= 'D'; --letter) {
      const std::string root = std::string(1, letter) + ":\\";
      if (std::find(roots.begin(), roots.end(), root) == roots.end()) return root;
    }
    return "";
  }
  std::string card;
};

TEST_F(Win32Drives, TheCardIsARemovableDriveInTheList) {
  const std::vector<std::string> roots = platform->LogicalDriveStrings();
  EXPECT_NE(std::find(roots.begin(), roots.end(), card + "\\"), roots.end());
  EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end()));
  EXPECT_EQ(platform->GetDriveType(card + "\\"), DriveType::Removable);
  EXPECT_EQ(platform->GetDriveType(card), DriveType::Removable);  // the backslash is added
  EXPECT_EQ(platform->GetDriveType("C:\\"), DriveType::Fixed);
  EXPECT_EQ(platform->DriveHostPath(card), card + "\\");
}

TEST_F(Win32Drives, AnUnusedLetterHasNoRootAndNoVolume) {
  const std::string unused = UnusedRoot();
  ASSERT_FALSE(unused.empty());
  EXPECT_EQ(platform->GetDriveType(unused), DriveType::NoRootDir);
  EXPECT_EQ(platform->DriveHostPath(unused), "");
  std::string fileSystem;
  EXPECT_FALSE(platform->GetVolumeInformation(unused, nullptr, &fileSystem));
  EXPECT_NE(GetLastError(), kErrSuccess);
  EXPECT_EQ(platform->OpenVolume("\\\\.\\" + unused.substr(0, 2)), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

// The name and size are the system's: the size is checked against what the Wine driver
// measured on the host folder behind the card (df), an independent count.
TEST_F(Win32Drives, FileSystemNameAndCapacityAreTheSystems) {
  std::string volumeName = "stale", fileSystem;
  ASSERT_TRUE(platform->GetVolumeInformation(card + "\\", &volumeName, &fileSystem));
  char systemName[MAX_PATH + 1] = {};
  ASSERT_TRUE(::GetVolumeInformationA((card + "\\").c_str(), nullptr, 0, nullptr, nullptr,
                                      nullptr, systemName, sizeof systemName));
  EXPECT_EQ(fileSystem, systemName);
  EXPECT_FALSE(fileSystem.empty());
  std::string fromSubfolder;  // any path on the drive names its volume
  ASSERT_TRUE(platform->GetVolumeInformation(card + "\\DATA\\X.BIN", nullptr, &fromSubfolder));
  EXPECT_EQ(fromSubfolder, fileSystem);

  uint64_t total = 0, free = 0;
  ASSERT_TRUE(platform->GetDiskSpace(card + "\\", &total, &free));
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
  const std::string measured = EnvironmentValue("CARDWRIGHT_WINE_CARD_BYTES");
  if (!measured.empty()) {
    EXPECT_EQ(total, std::strtoull(measured.c_str(), nullptr, 10));
  }
}

TEST_F(Win32Drives, MappingsOverrideTypeFileSystemAndSizeOfRealDrivesOnly) {
  win32::Win32PlatformOptions options;
  DriveMapping mapping;
  mapping.letter = card[0];
  mapping.removable = false;
  mapping.fileSystem = "FAT16";
  mapping.totalBytes = 1024;
  options.mappings.push_back(mapping);
  const std::string unused = UnusedRoot();
  mapping.letter = unused[0];
  mapping.removable = true;
  options.mappings.push_back(mapping);
  win32::Win32Platform mapped(options);

  EXPECT_EQ(mapped.GetDriveType(card + "\\"), DriveType::Fixed);
  std::string fileSystem;
  ASSERT_TRUE(mapped.GetVolumeInformation(card + "\\", nullptr, &fileSystem));
  EXPECT_EQ(fileSystem, "FAT16");
  uint64_t total = 0, free = 0;
  ASSERT_TRUE(mapped.GetDiskSpace(card + "\\", &total, &free));
  EXPECT_EQ(total, 1024u);
  EXPECT_LE(free, 1024u);
  EXPECT_EQ(mapped.GetDriveType(unused), DriveType::NoRootDir);  // a mapping makes no drive
  EXPECT_EQ(mapped.GetDriveType("C:\\"), DriveType::Fixed);
}

}  // namespace
}  // namespace cw::test
