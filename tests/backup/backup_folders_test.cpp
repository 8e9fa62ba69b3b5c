// The backup lists each folder above a copy only until it is known to hold something: copying
// many files into one folder must not list that folder once per file.

#include <gtest/gtest.h>

#include <algorithm>

#include "backup/backup.h"
#include "support/job_fixture.h"
#include "record/job_io.h"

namespace cw {
namespace {

const std::string kRoot =
    "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE\\QUORVANE_ENGINE_CF_BACKUP";

class BackupFoldersTest : public test::JobFixture {
 protected:
  CardFacts card;
  LoadedPackage package;

 protected:
  BackupFoldersTest() {
    fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
    fake.AddFolder("C:\\HOME\\TECH\\DOCUMENTS");
    state.targetType = kTargetEngine;
    state.backupRoot = kRoot;
  }
};

TEST_F(BackupFoldersTest, AFolderOfManyFilesIsListedOnlyUntilItHoldsOne) {
  for (int i = 0; i < 60; ++i) {
    const std::string path = Format("E:\\DATA\\F%02d.DAT", i);
    fake.WriteFile(path, Format("%d", i));
    state.cardFileList.push_back(path);
  }
  fake.ClearCalls();
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_EQ(fake.ReadFile(kRoot + "\\DATA\\F59.DAT"), "59");
  // Before it exists, and once it holds the first copy; never again.
  EXPECT_LE(fake.CallCount("FindFiles", kRoot + "\\DATA\\*.*"), 2u);
  EXPECT_LE(fake.CallCount("FindFiles", "C:\\HOME\\*.*"), 2u);
  EXPECT_EQ(state.backupFileList.size(), 60u);
}

TEST_F(BackupFoldersTest, EachMissingFolderIsStillCreatedOnce) {
  for (const char* path : {"E:\\A\\ONE.DAT", "E:\\B\\TWO.DAT", "E:\\A\\SUB\\THREE.DAT",
                           "E:\\A\\FOUR.DAT"}) {
    fake.WriteFile(path, "x");
    state.cardFileList.push_back(path);
  }
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  for (const std::string& folder : {kRoot + "\\A", kRoot + "\\B", kRoot + "\\A\\SUB"}) {
    const auto lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  trying to create " + folder), 1) << folder;
  }
  EXPECT_EQ(fake.ReadFile(kRoot + "\\A\\FOUR.DAT"), "x");
}

}  // namespace
}  // namespace cw
