#include "backup/file_listings.h"

#include <gtest/gtest.h>

#include "support/job_fixture.h"

namespace cw {
namespace {

class FileListingsTest : public test::JobFixture {
 protected:
  FileListingsTest() { fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20); }
};

TEST_F(FileListingsTest, CardIsWalkedBreadthFirstWithUpperCasedFileNames) {
  // One folder at a time: the fake names the folders it creates on the way from their keys.
  fake.AddFolder("E:\\Brevant");
  fake.AddFolder("E:\\Brevant\\Sub");
  fake.WriteFile("E:\\Root.txt", "r");
  fake.WriteFile("E:\\Brevant\\Sub\\deep.dat", "d");
  fake.WriteFile("E:\\Brevant\\app.exe", "a", kAttrReadOnly | kAttrHidden);
  fake.WriteFile("E:\\WD\\CRCFile.txt", "c", kAttrSystem);

  fake.ClearCalls();
  GetCFFilesArray(state, state.cardFileList);

  EXPECT_EQ(fake.CallCount("FindFiles"), 4u) << "each of the 4 folders is searched once";
  EXPECT_EQ(state.cardFileList,
            (std::vector<std::string>{"E:\\ROOT.TXT", "E:\\BREVANT\\APP.EXE", "E:\\WD\\CRCFILE.TXT",
                                      "E:\\BREVANT\\SUB\\DEEP.DAT"}));
  // Folder patterns keep the case the search returned.
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{"GetCFFilesArray", "GetFolderArray",
                                      "  located E:\\Brevant\\*.*", "  located E:\\WD\\*.*",
                                      "  located E:\\Brevant\\Sub\\*.*", "GetFileArray",
                                      "  located E:\\ROOT.TXT", "  located E:\\BREVANT\\APP.EXE",
                                      "  located E:\\WD\\CRCFILE.TXT",
                                      "  located E:\\BREVANT\\SUB\\DEEP.DAT",
                                      "  there are 4 items in the FolderArray.",
                                      "  there are 4 items in the files array."}));
}

TEST_F(FileListingsTest, DotEntriesAreSkippedWithOrWithoutThem) {
  fake.WriteFile("E:\\A\\B\\f.txt", "f");
  for (bool dots : {true, false}) {
    SCOPED_TRACE(dots);
    fake.SetDotEntries(dots);
    FileList folders{"E:\\*.*"};
    GetFolderArray(state, folders);
    EXPECT_EQ(folders, (FileList{"E:\\*.*", "E:\\A\\*.*", "E:\\A\\B\\*.*"}));
  }
}

TEST_F(FileListingsTest, RootOnlyCardGivesOneFolder) {
  fake.WriteFile("E:\\UPGRADE.FWP", "u");
  fake.WriteFile("E:\\FWPVers.bin", "v");
  GetCFFilesArray(state, state.cardFileList);
  EXPECT_EQ(state.cardFileList, (FileList{"E:\\UPGRADE.FWP", "E:\\FWPVERS.BIN"}));
  EXPECT_TRUE(Logged("  there are 1 items in the FolderArray."));
  EXPECT_TRUE(Logged("  there are 2 items in the files array."));
}

TEST_F(FileListingsTest, EmptyOrMissingCardGivesAnEmptyListAndClearsTheOldOne) {
  state.cardFileList = {"E:\\STALE.TXT"};
  GetCFFilesArray(state, state.cardFileList);
  EXPECT_TRUE(state.cardFileList.empty());
  EXPECT_TRUE(Logged("  there are 1 items in the FolderArray."));

  state.globalFlashPath = "R:";
  GetCFFilesArray(state, state.cardFileList);
  EXPECT_TRUE(state.cardFileList.empty());
  EXPECT_TRUE(Logged("  there are 0 items in the files array."));
}

TEST_F(FileListingsTest, GetFileArrayAppendsAndSearchesOnlyTheGivenFolders) {
  fake.WriteFile("E:\\a.txt", "a");
  fake.WriteFile("E:\\SUB\\b.txt", "b");
  FileList files{"KEPT"};
  GetFileArray(state, FileList{"E:\\*.*"}, files);
  EXPECT_EQ(files, (FileList{"KEPT", "E:\\A.TXT"}));
}

TEST_F(FileListingsTest, BackupRootFollowsTheKindOfCard) {
  const std::string data = test::kDataPath;
  fake.WriteFile(data + "\\QUORVANE_ENGINE_CF_BACKUP\\UPGRADE.FWP", "e");
  fake.WriteFile(data + "\\QUORVANE_PANEL_CF_BACKUP\\Brevant\\app.exe", "p");

  for (int32_t type : {kTargetUnknown, kTargetEngine}) {
    state.targetType = type;
    state.backupFileList = {"STALE"};
    GetBackupFilesArray(state, BackupRootForTarget(state, data, false), state.backupFileList);
    EXPECT_EQ(state.backupRoot, data + "\\QUORVANE_ENGINE_CF_BACKUP");
    EXPECT_EQ(state.backupFileList, FileList{data + "\\QUORVANE_ENGINE_CF_BACKUP\\UPGRADE.FWP"});
  }
  EXPECT_TRUE(Logged("  the backup root is " + data + "\\QUORVANE_ENGINE_CF_BACKUP"));

  for (int32_t type : {kTargetPanel3940, kTargetPanel3950}) {
    state.targetType = type;
    GetBackupFilesArray(state, BackupRootForTarget(state, data, false), state.backupFileList);
    EXPECT_EQ(state.backupRoot, data + "\\QUORVANE_PANEL_CF_BACKUP");
    EXPECT_EQ(state.backupFileList,
              FileList{data + "\\QUORVANE_PANEL_CF_BACKUP\\BREVANT\\APP.EXE"});
  }
  // A card that cannot tell its kind goes with the Panel's folder only when Panel files were
  // asked for.
  state.targetType = kTargetUnknown;
  EXPECT_EQ(BackupRootForTarget(state, data, true), data + "\\QUORVANE_PANEL_CF_BACKUP");
  EXPECT_EQ(BackupRootForTarget(state, data, false), data + "\\QUORVANE_ENGINE_CF_BACKUP");
}

TEST_F(FileListingsTest, MissingBackupFolderGivesAnEmptyList) {
  state.targetType = kTargetPanel3950;
  state.backupFileList = {"STALE"};
  GetBackupFilesArray(state, BackupRootForTarget(state, test::kDataPath, false),
                      state.backupFileList);
  EXPECT_TRUE(state.backupFileList.empty());
  EXPECT_EQ(LogLines().front(), "GetBackupFilesArray");
}

}  // namespace
}  // namespace cw
