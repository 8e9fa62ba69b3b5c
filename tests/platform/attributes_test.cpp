#include <sys/stat.h>
#include <sys/xattr.h>

#include <memory>

#include "platform/posix/posix_internal.h"
#include "posix_fixture.h"

namespace cw::test {
namespace {

using AttributeTest = PosixTest;

std::string DosAttrib(const std::string& hostPath) {
  char text[32] = {};
  const ssize_t size = ::getxattr(hostPath.c_str(), "user.DOSATTRIB", text, sizeof text - 1);
  return size < 0 ? std::string() : std::string(text, static_cast<size_t>(size));
}

mode_t ModeOf(const std::string& hostPath) {
  struct stat st;
  return ::stat(hostPath.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST_F(AttributeTest, PlainFileIsNormalAndFolderIsDirectory) {
  OnCard("DIR/F.TXT");
  EXPECT_EQ(sys().GetFileAttributes("E:\\DIR\\F.TXT"), kAttrNormal);
  EXPECT_EQ(sys().GetFileAttributes("E:\\DIR"), kAttrDirectory);
}

TEST_F(AttributeTest, HiddenSystemArchiveLiveInDosAttrib) {
  const std::string file = OnCard("F.TXT");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\F.TXT", kAttrHidden | kAttrSystem | kAttrArchive));
  EXPECT_EQ(DosAttrib(file), "0x26");
  EXPECT_NE(ModeOf(file) & S_IWUSR, 0u);
  EXPECT_EQ(sys().GetFileAttributes("E:\\F.TXT"), kAttrHidden | kAttrSystem | kAttrArchive);

  ASSERT_TRUE(sys().SetFileAttributes("E:\\F.TXT", kAttrArchive));
  EXPECT_EQ(DosAttrib(file), "0x20");
  EXPECT_EQ(sys().GetFileAttributes("E:\\F.TXT"), kAttrArchive);

  ASSERT_TRUE(sys().SetFileAttributes("E:\\F.TXT", kAttrNormal));
  EXPECT_EQ(DosAttrib(file), "");
  EXPECT_EQ(sys().GetFileAttributes("E:\\F.TXT"), kAttrNormal);
}

TEST_F(AttributeTest, ReadOnlyIsTheOwnersWriteBit) {
  const std::string file = OnCard("RO.TXT");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\RO.TXT", kAttrReadOnly | kAttrArchive));
  EXPECT_EQ(ModeOf(file) & (S_IWUSR | S_IWGRP | S_IWOTH), 0u);
  EXPECT_EQ(DosAttrib(file), "0x20");
  EXPECT_EQ(sys().GetFileAttributes("E:\\RO.TXT"), kAttrReadOnly | kAttrArchive);

  ASSERT_TRUE(sys().SetFileAttributes("E:\\RO.TXT", kAttrArchive));
  EXPECT_NE(ModeOf(file) & S_IWUSR, 0u);
  EXPECT_EQ(sys().GetFileAttributes("E:\\RO.TXT"), kAttrArchive);

  ::chmod(file.c_str(), 0444);  // made read-only by someone else
  EXPECT_EQ(sys().GetFileAttributes("E:\\RO.TXT"), kAttrReadOnly | kAttrArchive);
}

// An open file tells the same attributes as its path, also after they change while it is open.
TEST_F(AttributeTest, AnOpenFileTellsTheAttributesOfItsPath) {
  OnCard("F.TXT");
  std::unique_ptr<File> file = sys().OpenFile("E:\\F.TXT", OpenMode::Read);
  ASSERT_TRUE(file);
  for (const uint32_t set : {kAttrNormal, kAttrHidden | kAttrSystem | kAttrArchive,
                             kAttrReadOnly | kAttrArchive, kAttrReadOnly | kAttrHidden,
                             kAttrArchive}) {
    SCOPED_TRACE(set);
    ASSERT_TRUE(sys().SetFileAttributes("E:\\F.TXT", set));
    uint32_t attributes = 0;
    ASSERT_TRUE(file->GetAttributes(&attributes));
    EXPECT_EQ(attributes, set);
    EXPECT_EQ(attributes, sys().GetFileAttributes("E:\\F.TXT"));
  }
}

TEST_F(AttributeTest, FolderKeepsItsWriteBitWhenMarkedReadOnly) {
  OnCard("DIR/x");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\DIR", kAttrReadOnly | kAttrHidden | kAttrDirectory));
  EXPECT_NE(ModeOf(card_ + "/DIR") & S_IWUSR, 0u);
  EXPECT_EQ(sys().GetFileAttributes("E:\\DIR"), kAttrDirectory | kAttrReadOnly | kAttrHidden);
}

TEST_F(AttributeTest, FindAndFileInfoCarryAttributesSizeAndTime) {
  const std::string file = OnCard("INFO.BIN", "12345678");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\INFO.BIN", kAttrHidden));
  FindEntry info;
  ASSERT_TRUE(sys().GetFileInfo("E:\\info.bin", &info));
  EXPECT_EQ(info.name, "INFO.BIN");
  EXPECT_EQ(info.attributes, kAttrHidden);
  EXPECT_EQ(info.size, 8u);
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(info.writeTime, posix::WriteTimeOf(st));
  EXPECT_NE(info.writeTime, 0);
  std::vector<FindEntry> found;
  ASSERT_TRUE(sys().FindFiles("E:\\*.BIN", &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].attributes, kAttrHidden);

  EXPECT_FALSE(sys().GetFileInfo("E:\\NONE.BIN", &info));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

TEST(DosAttribText, ParsesOnlyItsOwnForm) {
  EXPECT_EQ(posix::FormatDosAttrib(0x22), "0x22");
  EXPECT_EQ(posix::ParseDosAttrib("0x22"), 0x22u);
  EXPECT_EQ(posix::ParseDosAttrib("0X7"), 0x7u);
  EXPECT_FALSE(posix::ParseDosAttrib("22"));
  EXPECT_FALSE(posix::ParseDosAttrib("0x"));
  EXPECT_FALSE(posix::ParseDosAttrib("0x2g"));
  EXPECT_FALSE(posix::ParseDosAttrib(std::string("\x00\x01", 2)));
}

}  // namespace
}  // namespace cw::test
