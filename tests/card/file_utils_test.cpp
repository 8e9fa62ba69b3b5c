#include "card/file_utils.h"

#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace cw {
namespace {

class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override { fs().AddDrive('E', DriveType::Removable, "FAT", 64 << 20); }
  FakePlatform& fs() { return fake_; }
  std::vector<std::string> CreatedFolders() {
    std::vector<std::string> created;
    for (const FakeCall& call : fs().Calls())
      if (call.op == "CreateDirectory") created.push_back(call.path);
    return created;
  }
  FakePlatform fake_;
  CFileUtils utils_{fake_};
};

TEST_F(FileUtilsTest, FileExistsForFilesAndFoldersOnly) {
  fs().WriteFile("E:\\DIR\\A.TXT", "a");
  EXPECT_TRUE(utils_.FileExists("E:\\DIR\\A.TXT"));
  EXPECT_TRUE(utils_.FileExists("E:\\dir\\a.txt"));
  EXPECT_TRUE(utils_.FileExists("E:\\DIR"));
  EXPECT_FALSE(utils_.FileExists("E:\\DIR\\B.TXT"));
  EXPECT_FALSE(utils_.FileExists("E:\\NONE\\A.TXT"));
}

TEST_F(FileUtilsTest, RemoveFile) {
  fs().WriteFile("E:\\A.TXT", "a");
  EXPECT_TRUE(utils_.RemoveFile("E:\\A.TXT"));
  EXPECT_FALSE(fs().Exists("E:\\A.TXT"));
  EXPECT_FALSE(utils_.RemoveFile("E:\\A.TXT"));
  fs().WriteFile("E:\\RO.TXT", "r", kAttrReadOnly);
  EXPECT_FALSE(utils_.RemoveFile("E:\\RO.TXT"));
  EXPECT_TRUE(fs().Exists("E:\\RO.TXT"));
}

TEST_F(FileUtilsTest, CreateFolderPathCreatesMissingFoldersTopDown) {
  fs().AddFolder("E:\\DOCS");
  fs().ClearCalls();
  EXPECT_TRUE(utils_.CreateFolderPath("E:\\DOCS\\BREVANT\\QUORVANE\\BACKUP"));
  EXPECT_EQ(CreatedFolders(), (std::vector<std::string>{"E:\\DOCS\\BREVANT",
                                                        "E:\\DOCS\\BREVANT\\QUORVANE",
                                                        "E:\\DOCS\\BREVANT\\QUORVANE\\BACKUP"}));
  EXPECT_TRUE(fs().IsFolder("E:\\DOCS\\BREVANT\\QUORVANE\\BACKUP"));
  // Every level was tested with a search before anything was created, the drive included.
  EXPECT_EQ(fs().CallCount("FindFiles", "E:"), 1u);
  EXPECT_EQ(fs().CallCount("FindFiles", "E:\\DOCS"), 1u);
}

TEST_F(FileUtilsTest, CreateFolderPathOnExistingPathCreatesNothing) {
  fs().AddFolder("E:\\A\\B\\C");
  fs().ClearCalls();
  EXPECT_TRUE(utils_.CreateFolderPath("E:\\A\\B\\C"));
  EXPECT_TRUE(CreatedFolders().empty());
  EXPECT_TRUE(utils_.CreateFolderPath("E:\\A\\B\\C\\"));
  EXPECT_TRUE(CreatedFolders().empty());
}

TEST_F(FileUtilsTest, CreateFolderPathWithTrailingBackslashCreatesLastFolder) {
  EXPECT_TRUE(utils_.CreateFolderPath("E:\\NEW\\"));
  EXPECT_TRUE(fs().IsFolder("E:\\NEW"));
}

TEST_F(FileUtilsTest, CreateFolderPathStopsAtFirstFailure) {
  fs().AddFolder("E:\\A");
  fs().FailCall("CreateDirectory", kErrAccessDenied, 1, "E:\\A\\B");
  fs().ClearCalls();
  EXPECT_FALSE(utils_.CreateFolderPath("E:\\A\\B\\C\\D"));
  EXPECT_EQ(CreatedFolders(), std::vector<std::string>{"E:\\A\\B"});
  EXPECT_EQ(fs().CallCount("FindFiles", "E:\\A\\B\\C"), 0u) << "deeper folders are not tried";
  EXPECT_FALSE(fs().Exists("E:\\A\\B"));
}

TEST_F(FileUtilsTest, CreateFolderPathKeepsFoldersMadeBeforeAFailure) {
  fs().FailCall("CreateDirectory", kErrDiskFull, 1, "E:\\X\\Y");
  EXPECT_FALSE(utils_.CreateFolderPath("E:\\X\\Y"));
  EXPECT_TRUE(fs().IsFolder("E:\\X"));
  EXPECT_FALSE(fs().Exists("E:\\X\\Y"));
}

TEST_F(FileUtilsTest, CreateFolderPathFailsOnAMissingDrive) {
  EXPECT_FALSE(utils_.CreateFolderPath("Q:\\A\\B"));
  EXPECT_FALSE(fs().Exists("Q:\\A"));
}

TEST_F(FileUtilsTest, CopyNewFileTakesDestinationFirstAndNeverOverwrites) {
  fs().WriteFile("E:\\SRC.TXT", "new", kAttrArchive | kAttrHidden);
  EXPECT_TRUE(utils_.CopyNewFile("E:\\DST.TXT", "E:\\SRC.TXT"));
  EXPECT_EQ(fs().ReadFile("E:\\DST.TXT"), "new");
  EXPECT_EQ(fs().Attributes("E:\\DST.TXT"), kAttrArchive | kAttrHidden);

  fs().WriteFile("E:\\OLD.TXT", "old");
  EXPECT_FALSE(utils_.CopyNewFile("E:\\OLD.TXT", "E:\\SRC.TXT"));
  EXPECT_EQ(fs().ReadFile("E:\\OLD.TXT"), "old");
  EXPECT_EQ(fs().ReadFile("E:\\SRC.TXT"), "new");

  EXPECT_FALSE(utils_.CopyNewFile("E:\\X.TXT", "E:\\MISSING.TXT"));
  EXPECT_FALSE(fs().Exists("E:\\X.TXT"));
}

}  // namespace
}  // namespace cw
