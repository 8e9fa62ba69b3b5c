#include <sys/stat.h>

#include <thread>

#include "platform/posix/posix_internal.h"
#include "posix_fixture.h"

namespace cw::test {
namespace {

using ErrorTest = PosixTest;

TEST_F(ErrorTest, MissingFileIsTwoMissingFolderIsThree) {
  EXPECT_EQ(sys().OpenFile("E:\\NOPE.TXT", OpenMode::Read), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_EQ(sys().OpenFile("E:\\NODIR\\NOPE.TXT", OpenMode::Read), nullptr);
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  EXPECT_EQ(sys().OpenFile("E:\\NODIR\\NOPE.TXT", OpenMode::CreateAlways), nullptr);
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  EXPECT_FALSE(sys().DeleteFile("E:\\NOPE.TXT"));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_EQ(sys().GetFileAttributes("E:\\NODIR\\X"), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
}

// The tests run as root, who may write anything; access is denied by Windows' own rules.
TEST_F(ErrorTest, ReadOnlyFilesAreNeitherWrittenNorDeleted) {
  OnCard("RO.TXT", "keep");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\RO.TXT", kAttrReadOnly));
  EXPECT_FALSE(sys().DeleteFile("E:\\RO.TXT"));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(sys().OpenFile("E:\\RO.TXT", OpenMode::ReadWrite), nullptr);
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(sys().OpenFile("E:\\RO.TXT", OpenMode::CreateAlways), nullptr);
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(temp_.Read("card/RO.TXT"), "keep");
  EXPECT_NE(sys().OpenFile("E:\\RO.TXT", OpenMode::Read), nullptr);

  ASSERT_TRUE(sys().SetFileAttributes("E:\\RO.TXT", kAttrNormal));
  EXPECT_TRUE(sys().DeleteFile("E:\\RO.TXT"));
}

TEST_F(ErrorTest, WritingAFileOpenedForReadingIsDenied) {
  OnCard("R.TXT", "abc");
  auto file = sys().OpenFile("E:\\R.TXT", OpenMode::Read);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(file->Write("x", 1));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(temp_.Read("card/R.TXT"), "abc");
}

TEST_F(ErrorTest, FoldersAreNotFiles) {
  OnCard("DIR/x");
  EXPECT_EQ(sys().OpenFile("E:\\DIR", OpenMode::Read), nullptr);
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_FALSE(sys().DeleteFile("E:\\DIR"));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
}

TEST_F(ErrorTest, ExistingNamesAre80AndFolders183) {
  OnCard("A.TXT");
  EXPECT_EQ(sys().OpenFile("E:\\A.TXT", OpenMode::CreateNew), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileExists);
  EXPECT_TRUE(sys().CreateDirectory("E:\\NEWDIR"));
  EXPECT_FALSE(sys().CreateDirectory("E:\\NEWDIR"));
  EXPECT_EQ(GetLastError(), kErrAlreadyExists);
  EXPECT_FALSE(sys().CreateDirectory("E:\\NO\\DEEPER"));
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
}

TEST(ErrnoMapping, WindowsNumbers) {
  EXPECT_EQ(posix::WinErrorFromErrno(EACCES, ""), kErrAccessDenied);
  EXPECT_EQ(posix::WinErrorFromErrno(EPERM, ""), kErrAccessDenied);
  EXPECT_EQ(posix::WinErrorFromErrno(EROFS, ""), kErrWriteProtect);
  EXPECT_EQ(posix::WinErrorFromErrno(EBUSY, ""), kErrSharingViolation);
  EXPECT_EQ(posix::WinErrorFromErrno(ETXTBSY, ""), kErrSharingViolation);
  EXPECT_EQ(posix::WinErrorFromErrno(EEXIST, ""), kErrFileExists);
  EXPECT_EQ(posix::WinErrorFromErrno(ENOSPC, ""), kErrDiskFull);
  EXPECT_EQ(posix::WinErrorFromErrno(EIO, ""), kErrIoDevice);
  EXPECT_EQ(posix::WinErrorFromErrno(ENOMEDIUM, ""), kErrNotReady);
  EXPECT_EQ(posix::WinErrorFromErrno(EXDEV, ""), kErrGenFailure);
  EXPECT_EQ(posix::WinErrorFromErrno(ENOENT, "/tmp/surely-missing-file"), kErrFileNotFound);
  EXPECT_EQ(posix::WinErrorFromErrno(ENOENT, "/surely-missing-folder/file"), kErrPathNotFound);
}

TEST(LastError, BelongsToEachThread) {
  SetLastError(kErrDiskFull);
  uint32_t seenByOther = 99;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(kErrIoDevice);
  });
  other.join();
  EXPECT_EQ(seenByOther, kErrSuccess);
  EXPECT_EQ(GetLastError(), kErrDiskFull);
}

}  // namespace
}  // namespace cw::test
