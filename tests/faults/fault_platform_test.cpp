#include "faults/fault_platform.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace cw::test {
namespace {

class FaultPlatformTest : public ::testing::Test {
 protected:
  FaultPlatformTest() {
    fake.AddDrive('E', DriveType::Removable, "FAT16", 64ull << 20);
    fake.WriteFile("E:\\APP\\MAIN.BIN", "main");
    fake.WriteFile("C:\\WORK\\PACKAGE.FWP", "package");
  }
  bool Write(const std::string& path, const std::string& bytes) {
    std::unique_ptr<File> file = faults.OpenFile(path, OpenMode::CreateAlways);
    return file && file->Write(bytes.data(), static_cast<uint32_t>(bytes.size())) &&
           file->Close();
  }

  FakePlatform fake;
  FaultPlatform faults{fake};
};

TEST_F(FaultPlatformTest, OnlyTheKthOperationOfTheKindFailsWithItsError) {
  faults.FailNth(Fault::kDelete, 2);
  fake.WriteFile("E:\\A", "a");
  fake.WriteFile("E:\\B", "b");
  fake.WriteFile("E:\\C", "c");
  EXPECT_TRUE(faults.CopyFile("E:\\A", "C:\\WORK\\A", false));  // another kind: not counted
  EXPECT_TRUE(faults.DeleteFile("E:\\A"));
  EXPECT_FALSE(faults.Fired());
  EXPECT_FALSE(faults.DeleteFile("E:\\B"));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_TRUE(fake.Exists("E:\\B"));
  EXPECT_EQ(faults.FiredAt(), "DeleteFile E:\\B");
  EXPECT_TRUE(faults.DeleteFile("E:\\C"));
  EXPECT_EQ(faults.Count(Fault::kDelete), 3);
  EXPECT_EQ(faults.Count(Fault::kCopy), 1);
}

TEST_F(FaultPlatformTest, OpenAndCreateAreCountedApartAndTheErrorCanBeChosen) {
  faults.FailNth(Fault::kCreate, 1, kErrWriteProtect);
  EXPECT_NE(faults.OpenFile("E:\\APP\\MAIN.BIN", OpenMode::Read), nullptr);
  EXPECT_EQ(faults.OpenFile("E:\\NEW.BIN", OpenMode::CreateAlways), nullptr);
  EXPECT_EQ(GetLastError(), kErrWriteProtect);
  EXPECT_FALSE(fake.Exists("E:\\NEW.BIN"));
  EXPECT_EQ(faults.Count(Fault::kOpen), 1);
  EXPECT_EQ(faults.Count(Fault::kCreate), 1);
}

TEST_F(FaultPlatformTest, AnInjectedWriteLeavesHalfOfItsBytes) {
  faults.FailNth(Fault::kWrite, 1);
  std::unique_ptr<File> file = faults.OpenFile("E:\\OUT.BIN", OpenMode::CreateAlways);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(file->Write("12345678", 8));
  EXPECT_EQ(GetLastError(), kErrDiskFull);
  EXPECT_TRUE(file->Write("9", 1));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(fake.ReadFile("E:\\OUT.BIN"), "12349");
}

TEST_F(FaultPlatformTest, ExemptPathsAreNeitherCountedNorFailed) {
  faults.Exempt("c:\\work\\fwp_downloader.log");
  faults.FailNth(Fault::kWrite, 1);
  EXPECT_TRUE(Write("C:\\WORK\\FWP_DOWNLOADER.LOG", "line"));
  EXPECT_EQ(faults.Count(Fault::kWrite), 0);
  EXPECT_FALSE(Write("C:\\WORK\\OTHER.TXT", "line"));
}

TEST_F(FaultPlatformTest, APulledCardFailsEveryLaterOperationLikeAnEmptyReader) {
  std::unique_ptr<File> open = faults.OpenFile("E:\\APP\\MAIN.BIN", OpenMode::Read);  // op 1
  ASSERT_NE(open, nullptr);
  faults.PullCardAt(2);
  uint64_t size = 0;
  EXPECT_TRUE(open->GetSize(&size));  // op 2 is the first that fails
  EXPECT_FALSE(faults.CardPulled());
  char buffer[4];
  uint32_t got = 0;
  EXPECT_FALSE(open->Read(buffer, 4, &got));
  EXPECT_EQ(GetLastError(), kErrIoDevice);
  EXPECT_TRUE(faults.CardPulled());
  EXPECT_FALSE(open->Close());

  EXPECT_EQ(faults.OpenFile("E:\\APP\\MAIN.BIN", OpenMode::Read), nullptr);
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  std::vector<FindEntry> matches;
  EXPECT_FALSE(faults.FindFiles("E:\\*.*", &matches));
  EXPECT_TRUE(matches.empty());
  EXPECT_EQ(faults.GetFileAttributes("E:\\APP"), kInvalidAttributes);
  EXPECT_EQ(faults.GetDriveType("E:\\"), DriveType::NoRootDir);
  std::string volumeName, fileSystem;
  EXPECT_FALSE(faults.GetVolumeInformation("E:\\", &volumeName, &fileSystem));
  EXPECT_EQ(GetLastError(), kErrNotReady);
  EXPECT_EQ(faults.OpenVolume("\\\\.\\E:"), nullptr);
  for (const std::string& drive : faults.LogicalDriveStrings()) EXPECT_NE(drive, "E:\\");

  // The rest of the machine works, and the card keeps what it held.
  EXPECT_TRUE(faults.CopyFile("C:\\WORK\\PACKAGE.FWP", "C:\\WORK\\COPY.FWP", false));
  EXPECT_FALSE(faults.CopyFile("C:\\WORK\\PACKAGE.FWP", "E:\\COPY.FWP", false));
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "main");
  EXPECT_FALSE(fake.Exists("E:\\COPY.FWP"));
}

TEST_F(FaultPlatformTest, VolumeHandlesOfAPulledCardStillClose) {
  std::unique_ptr<Volume> volume = faults.OpenVolume("\\\\.\\E:");
  ASSERT_NE(volume, nullptr);
  EXPECT_TRUE(faults.IsVolumeMounted(*volume));
  faults.PullCardAt(1);
  EXPECT_FALSE(faults.DismountVolume(*volume));
  EXPECT_EQ(GetLastError(), kErrNotReady);
  EXPECT_TRUE(faults.CloseVolume(std::move(volume)));
}

}  // namespace
}  // namespace cw::test
