#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/posix_internal.h"
#include "posix_fixture.h"

namespace cw::test {
namespace {

using DriveTest = PosixTest;

TEST_F(DriveTest, LettersInOrderWithCAsTheHostRoot) {
  EXPECT_EQ(sys().LogicalDriveStrings(), (std::vector<std::string>{"C:\\", "E:\\"}));
  EXPECT_EQ(sys().DriveHostPath("E:\\"), card_);
  EXPECT_EQ(sys().DriveHostPath("C:"), "/");
  EXPECT_EQ(sys().DriveHostPath("Q:\\"), "");
}

TEST_F(DriveTest, OnlyARootHasADriveType) {
  EXPECT_EQ(sys().GetDriveType("E:\\"), DriveType::Removable);
  EXPECT_EQ(sys().GetDriveType("e:"), DriveType::Removable);
  EXPECT_EQ(sys().GetDriveType("C:\\"), DriveType::Fixed);
  EXPECT_EQ(sys().GetDriveType("E:\\DATA"), DriveType::NoRootDir);
  EXPECT_EQ(sys().GetDriveType("Q:\\"), DriveType::NoRootDir);
}

TEST_F(DriveTest, MappingOverridesFileSystemAndCapacity) {
  std::string volume = "junk";
  std::string fileSystem;
  ASSERT_TRUE(sys().GetVolumeInformation("E:", &volume, &fileSystem));
  EXPECT_EQ(fileSystem, "FAT16");
  EXPECT_EQ(volume, "");
  uint64_t total = 0;
  uint64_t free = ~0ull;
  ASSERT_TRUE(sys().GetDiskSpace("E:\\", &total, &free));
  EXPECT_EQ(total, 64ull << 20);
  EXPECT_LE(free, total);
}

TEST_F(DriveTest, HostFileSystemNameWithoutOverrides) {
  std::string fileSystem;
  ASSERT_TRUE(sys().GetVolumeInformation("C:\\", nullptr, &fileSystem));
  EXPECT_FALSE(fileSystem.empty());
  EXPECT_EQ(fileSystem, posix::UpperAscii(fileSystem));
  uint64_t total = 0;
  ASSERT_TRUE(sys().GetDiskSpace("C:\\", &total, nullptr));
  EXPECT_GT(total, 0u);
  EXPECT_FALSE(sys().GetVolumeInformation("Q:\\", nullptr, &fileSystem));
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
}

TEST(FileSystemNames, FatByClusterCountOthersByName) {
  EXPECT_EQ(posix::FileSystemName(MSDOS_SUPER_MAGIC, 65524, "vfat"), "FAT");
  EXPECT_EQ(posix::FileSystemName(MSDOS_SUPER_MAGIC, 65525, "vfat"), "FAT32");
  EXPECT_EQ(posix::FileSystemName(MSDOS_SUPER_MAGIC, 100, ""), "FAT");
  EXPECT_EQ(posix::FileSystemName(EXT4_SUPER_MAGIC, 1 << 30, "ext4"), "EXT4");
  EXPECT_EQ(posix::FileSystemName(0x2011BAB0, 10, "exfat"), "EXFAT");
  EXPECT_EQ(posix::FileSystemName(TMPFS_MAGIC, 10, ""), "TMPFS");
  EXPECT_EQ(posix::FileSystemName(OVERLAYFS_SUPER_MAGIC, 10, ""), "OVERLAY");
}

TEST(MountInfo, ParsesFieldsAndEscapes) {
  const std::string text =
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
      "40 27 8:17 / /media/tech/MY\\040CARD rw,nosuid,nodev shared:7 master:1 - vfat /dev/sdb1 "
      "rw,fmask=0022,shortname=mixed,utf8\n"
      "garbage line\n"
      "41 40 0:50 / /media/tech/MY\\040CARD/sub rw - tmpfs tmpfs rw\n";
  const auto mounts = posix::ParseMountInfo(text);
  ASSERT_EQ(mounts.size(), 3u);
  EXPECT_EQ(mounts[1].majorMinor, "8:17");
  EXPECT_EQ(mounts[1].mountPoint, "/media/tech/MY CARD");
  EXPECT_EQ(mounts[1].mountOptions, "rw,nosuid,nodev");
  EXPECT_EQ(mounts[1].fsType, "vfat");
  EXPECT_EQ(mounts[1].source, "/dev/sdb1");
  EXPECT_EQ(mounts[1].superOptions, "rw,fmask=0022,shortname=mixed,utf8");
  EXPECT_EQ(posix::MountOf(mounts, "/media/tech/MY CARD/DATA")->fsType, "vfat");
  EXPECT_EQ(posix::MountOf(mounts, "/media/tech/MY CARD/sub/x")->fsType, "tmpfs");
  EXPECT_EQ(posix::MountOf(mounts, "/home")->fsType, "ext4");
  EXPECT_EQ(posix::MountAt(mounts, "/media/tech/MY CARD")->source, "/dev/sdb1");
  EXPECT_FALSE(posix::MountAt(mounts, "/media/tech"));
}

TEST(MountInfo, RemountRestoresFlagsAndFileSystemOptions) {
  posix::MountEntry card;
  card.mountOptions = "ro,nosuid,nodev,noexec,relatime";
  card.superOptions = "ro,fmask=0022,dmask=0022,codepage=437,shortname=mixed,utf8";
  const posix::MountRequest request = posix::RemountRequest(card);
  EXPECT_EQ(request.flags, MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RELATIME);
  EXPECT_EQ(request.data, "fmask=0022,dmask=0022,codepage=437,shortname=mixed,utf8");

  // A card mounted "sync" (or "dirsync", "lazytime") shows it among the super block's
  // options; it must go back as a flag, since the FAT driver refuses it as its own option.
  card.mountOptions = "rw,relatime";
  card.superOptions = "rw,sync,dirsync,lazytime,fmask=0022,utf8";
  const posix::MountRequest synchronous = posix::RemountRequest(card);
  EXPECT_EQ(synchronous.flags, MS_RELATIME | MS_SYNCHRONOUS | MS_DIRSYNC | MS_LAZYTIME);
  EXPECT_EQ(synchronous.data, "fmask=0022,utf8");
}

// A fake sysfs: a card reader partition (removable disk), a USB disk, a fixed disk.
TEST(Removable, FromSysfsRemovableFlagOrUsb) {
  TempDir sys;
  namespace fs = std::filesystem;
  auto device = [&](const std::string& devicePath, const std::string& majorMinor) {
    fs::create_directories(sys.Sub(devicePath));
    fs::create_directories(sys.Sub("dev/block"));
    fs::create_symlink(sys.Sub(devicePath), sys.Sub("dev/block/" + majorMinor));
  };
  device("devices/pci0/ata1/block/sdb/sdb1", "8:17");
  sys.Write("devices/pci0/ata1/block/sdb/removable", "1\n");
  sys.Write("devices/pci0/ata1/block/sdb/sdb1/partition", "1\n");
  device("devices/pci0/usb2/2-1/block/sdc", "8:32");
  sys.Write("devices/pci0/usb2/2-1/block/sdc/removable", "0\n");
  device("devices/pci0/ata2/block/sda/sda1", "8:1");
  sys.Write("devices/pci0/ata2/block/sda/removable", "0\n");
  sys.Write("devices/pci0/ata2/block/sda/sda1/partition", "1\n");

  EXPECT_TRUE(posix::IsRemovableDevice(sys.path(), "8:17"));
  EXPECT_TRUE(posix::IsRemovableDevice(sys.path(), "8:32"));
  EXPECT_FALSE(posix::IsRemovableDevice(sys.path(), "8:1"));
  EXPECT_FALSE(posix::IsRemovableDevice(sys.path(), "9:9"));
}

TEST_F(DriveTest, VolumeOfAFolderCardOpensDismountsAndCloses) {
  auto volume = sys().OpenVolume("\\\\.\\E:");
  ASSERT_NE(volume, nullptr);
  EXPECT_TRUE(sys().IsVolumeMounted(*volume));
  EXPECT_TRUE(sys().DismountVolume(*volume));
  EXPECT_FALSE(sys().IsVolumeMounted(*volume));
  EXPECT_TRUE(sys().CloseVolume(std::move(volume)));
  // A folder card is never unmounted: its files stay reachable.
  EXPECT_NE(sys().GetFileAttributes("E:\\"), kInvalidAttributes);
}

TEST_F(DriveTest, OnlyAMappedLetterHasAVolume) {
  EXPECT_EQ(sys().OpenVolume("\\\\.\\Q:"), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_EQ(sys().OpenVolume("E:\\"), nullptr);
  EXPECT_EQ(sys().OpenVolume("\\\\.\\E:\\"), nullptr);
}

size_t ResidentPages(const std::string& hostPath, size_t size) {
  const int fd = ::open(hostPath.c_str(), O_RDONLY);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  const size_t pages = (size + 4095) / 4096;
  std::vector<unsigned char> resident(pages);
  ::mincore(map, size, resident.data());
  ::munmap(map, size);
  size_t count = 0;
  for (unsigned char page : resident) count += page & 1;
  return count;
}

// The page cache cannot be told apart from the medium on a disk-backed folder, so this checks
// what can be seen: the dismount drops the card files' cached pages, and a read afterwards
// sees the content as it is now.
TEST_F(DriveTest, DismountEvictsCachedPagesAndLaterReadsSeeCurrentContent) {
  const size_t size = 1 << 20;
  const std::string file = OnCard("DEEP/DATA.BIN", std::string(size, 'a'));
  auto handle = sys().OpenFile("E:\\DEEP\\DATA.BIN", OpenMode::Read);
  std::string buffer(size, '\0');
  uint32_t got = 0;
  ASSERT_TRUE(handle->Read(buffer.data(), size, &got));
  handle.reset();
  if (ResidentPages(file, size) == 0) GTEST_SKIP() << "this file system keeps no page cache";

  auto volume = sys().OpenVolume("\\\\.\\E:");
  ASSERT_NE(volume, nullptr);
  ASSERT_TRUE(sys().DismountVolume(*volume));
  EXPECT_EQ(ResidentPages(file, size), 0u);
  ASSERT_TRUE(sys().CloseVolume(std::move(volume)));

  temp_.Write("card/DEEP/DATA.BIN", std::string(size, 'b'));
  handle = sys().OpenFile("E:\\DEEP\\DATA.BIN", OpenMode::Read);
  ASSERT_TRUE(handle->Read(buffer.data(), size, &got));
  EXPECT_EQ(buffer, std::string(size, 'b'));
}

TEST(DriveDiscovery, MappingsComeFirstAndTheHostRootIsC) {
  TempDir folder;
  DriveMapping mapping;
  mapping.letter = 'D';
  mapping.hostPath = folder.path() + "/./";
  mapping.removable = false;
  PosixPlatformOptions options;
  options.mappings = {mapping};
  auto platform = MakePosixPlatform(options);  // discovers the host's mounts too
  const auto roots = platform->LogicalDriveStrings();
  ASSERT_GE(roots.size(), 2u);
  EXPECT_EQ(roots[0], "C:\\");
  EXPECT_EQ(roots[1], "D:\\");
  EXPECT_EQ(platform->DriveHostPath("D:\\"), folder.path());
  EXPECT_EQ(platform->GetDriveType("D:\\"), DriveType::Fixed);
  EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end()));
}

}  // namespace
}  // namespace cw::test
