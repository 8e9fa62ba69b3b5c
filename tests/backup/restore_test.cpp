#include <gtest/gtest.h>

#include "backup/backup.h"
#include "backup/job_fixture.h"
#include "job/job_io.h"
#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "verify/bhelper.h"

namespace cw {
namespace {

const std::string kData = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";
const std::string kEngineRoot = kData + "\\QUORVANE_ENGINE_CF_BACKUP";
const std::string kPanelRoot = kData + "\\QUORVANE_PANEL_CF_BACKUP";

uint32_t Crc(const std::string& text) {
  CBHelper helper;
  return CBHelper::BufferCRC(reinterpret_cast<const unsigned char*>(text.data()),
                             static_cast<uint32_t>(text.size()));
}

class RestoreTest : public JobFixture {
 protected:
  RestoreTest() {
    fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
    fake.AddFolder("C:\\HOME\\TECH\\DOCUMENTS");
    backupIncomplete = false;
    softwareTestMode = 0;
    has3950Support = 0;
    job.storeInProgress = 1;
    job.usePackageFile = 1;
    job.skipBackup = 0;
  }

  void CardFile(const std::string& path, const std::string& content) {
    fake.WriteFile(path, content);
    cardFileList.push_back(path);
  }

  // An Engine card as an earlier store left it: its stored package and the package's file.
  void OldEngineCard() {
    targetType = kTargetEngine;
    backupRoot = kEngineRoot;
    PackageSpec spec;
    spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\MAIN.BIN", .content = "old"});
    CardFile("E:\\UPGRADE.FWP", BuildPackage(spec));
    CardFile("E:\\APP\\MAIN.BIN", "old");
  }

  // A 3940 panel card: its OS image, application files, settings and CRC list.
  void OldPanelCard() {
    targetType = kTargetPanel3940;
    backupRoot = kPanelRoot;
    osOnCard = 1;
    osInPackage = 0;
    CardFile("E:\\NK.BIN", "os image");
    CardFile("E:\\BREVANT\\APP.EXE", "app");
    CardFile("E:\\BREVANT\\DATA\\TABLE.DAT", "table");
    CardFile("E:\\BREVANT\\BPANEL.INI", "settings");
    CardFile("E:\\QUORVANE FILE CRCS.DAT",
             BuildCRCList({{"NK.BIN", Crc("os image")},
                           {"BREVANT\\APP.EXE", Crc("app")},
                           {"BREVANT\\DATA\\TABLE.DAT", Crc("table")},
                           {"BREVANT\\BPANEL.INI", Crc("settings")}}));
  }

  // What a failed store leaves: changed and new files.
  void DamageCard() {
    for (const std::string& path : cardFileList)
      if (path.find("UPGRADE") == std::string::npos && path.find("CRCS") == std::string::npos)
        fake.WriteFile(path, "new");
  }
};

TEST_F(RestoreTest, StoreWithoutBackupCannotRestore) {
  OldEngineCard();
  job.skipBackup = 1;
  DamageCard();
  EXPECT_FALSE(AttemptRestore());
  EXPECT_EQ(job.statusText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_TRUE(Logged("Restore Not Possible!! No Backup Files!!"));
  EXPECT_EQ(job.diagnosticsText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseIdle);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new");
  EXPECT_EQ(fake.SleptMs(), 50u);
}

TEST_F(RestoreTest, EngineCardIsNotCleanedAndVerifiesAgainstItsStoredCopy) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(false));
  DamageCard();
  fake.WriteFile("E:\\APP\\EXTRA.BIN", "extra");

  EXPECT_TRUE(AttemptRestore());
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old");
  EXPECT_EQ(fake.ReadFile("E:\\APP\\EXTRA.BIN"), "extra");
  EXPECT_FALSE(Logged("  attempting to clean the CF."));
  EXPECT_FALSE(Logged("CleanCF"));
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
  EXPECT_NE(job.diagnosticsText.Get().find("Restore OK!!"), std::string::npos);
  EXPECT_EQ(job.restoreState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseDone);
  EXPECT_EQ(job.usePackageFile.load(), 0);
  EXPECT_EQ(job.storeInProgress.load(), 0);
  EXPECT_GE(fake.DismountCount('E'), 1);
  for (const char* line : {"AttemptRestore", "  attempting to restore files from backup.",
                           "  attempting to restore files.", "RestoreFiles",
                           "  attempting to eject the CF card.",
                           "  attempting to load the info array."})
    EXPECT_TRUE(Logged(line)) << line;
}

// A failed store of a package with 3950 support onto a card that had only "UPGRADE.FWP": the
// restored card is checked against what it holds, not against the new package's support.
TEST_F(RestoreTest, EngineCardRestoredAfterA3950PackageVerifiesAgainstItsOwnCopy) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(false));
  DamageCard();
  has3950Support = 1;

  EXPECT_TRUE(AttemptRestore());
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
  EXPECT_EQ(has3950Support, 0);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old");
}

TEST_F(RestoreTest, RestoreOnlyWithoutCreateBackupStillRestores) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(false));
  DamageCard();
  job.skipBackup = 1;
  job.storeInProgress = 0;  // a restore-only job
  EXPECT_TRUE(AttemptRestore());
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old");
}

TEST_F(RestoreTest, PanelCardIsCleanedThenRestoredFromACompleteBackup) {
  OldPanelCard();
  ASSERT_TRUE(BackupFiles(true));
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\APP.EXE"));  // the backup erased it
  // The failed store left a broken application file.
  fake.WriteFile("E:\\BREVANT\\APP.EXE", "new");

  EXPECT_TRUE(AttemptRestore());
  EXPECT_TRUE(Logged("  attempting to clean the CF."));
  EXPECT_EQ(fake.CallCount("DeleteFile", "E:\\BREVANT\\APP.EXE"), 2u);  // erase, then clean
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\DATA\\TABLE.DAT"), "table");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\BPANEL.INI"), "settings");
  EXPECT_EQ(fake.ReadFile("E:\\NK.BIN"), "os image");
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
}

// A file the failed store added is not in the listing taken before the job: the restore lists
// the card again, so the new file goes too and the card is left as it was.
TEST_F(RestoreTest, FilesAddedByTheFailedStoreAreCleanedAway) {
  OldPanelCard();
  ASSERT_TRUE(BackupFiles(true));
  fake.WriteFile("E:\\BREVANT\\NEW\\PLUGIN.DLL", "new plugin");

  EXPECT_TRUE(AttemptRestore());
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\NEW\\PLUGIN.DLL"));
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
}

TEST_F(RestoreTest, RestoreCountsAndSetsTheProgressRangeToTheBackup) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(false));
  EXPECT_TRUE(RestoreFiles());
  EXPECT_EQ(job.statusText.Get(), "2 Files Restored");
  EXPECT_EQ(job.progressMin.load(), 0);
  EXPECT_EQ(job.progressMax.load(), 2);
  EXPECT_EQ(job.progressPos.load(), 1);
  EXPECT_TRUE(Logged("RestoreFiles"));
}

TEST_F(RestoreTest, MissingCardFolderFailsTheCopyWithPathNotFound) {
  targetType = kTargetEngine;
  backupRoot = kEngineRoot;
  fake.WriteFile(kEngineRoot + "\\GONE\\A.DAT", "a");
  backupFileList = {kEngineRoot + "\\GONE\\A.DAT"};

  EXPECT_FALSE(RestoreFiles());
  EXPECT_EQ(job.diagnosticsText.Get(), "\r\nCopy File Error - 3 - E:\\GONE\\A.DAT\r\n");
  EXPECT_FALSE(fake.Exists("E:\\GONE"));

  EXPECT_FALSE(AttemptRestore());
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
  EXPECT_TRUE(Logged("Restore Failed!! Compact flash is not usable!!"));
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseIdle);
  EXPECT_EQ(job.storeInProgress.load(), 1);  // not cleared before the copy succeeded
}

TEST_F(RestoreTest, FailedEjectionEndsTheRestoreAsFailed) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(false));
  fake.FailAlways("OpenVolume", kErrAccessDenied);
  EXPECT_FALSE(AttemptRestore());
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
  EXPECT_FALSE(Logged("  attempting to load the info array."));
}

TEST_F(RestoreTest, CardWithoutReferenceFailsToReload) {
  targetType = kTargetEngine;
  backupRoot = kEngineRoot;
  CardFile("E:\\APP\\MAIN.BIN", "old");  // no stored package on this card
  ASSERT_TRUE(BackupFiles(false));
  EXPECT_FALSE(AttemptRestore());
  EXPECT_TRUE(Logged("  failed to load info array."));
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
  EXPECT_TRUE(prompt.Contains("Stored FWP file not found on flash."));
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
}

TEST_F(RestoreTest, RestoredCardThatDoesNotVerifyIsReported) {
  OldEngineCard();
  fake.WriteFile("E:\\APP\\MAIN.BIN", "not what the stored copy says");
  ASSERT_TRUE(BackupFiles(false));
  EXPECT_FALSE(AttemptRestore());
  EXPECT_EQ(job.restoreState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseFailed);
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
}

TEST_F(RestoreTest, BenchModeShowsItsSuggestionBeforeTheCheck) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(false));
  softwareTestMode = 1;
  EXPECT_TRUE(AttemptRestore());
  softwareTestMode = 0;
  EXPECT_TRUE(prompt.Contains(
      "A bad file store has caused a restore.\r\nSuggestion: Mess with the files on the CF"));
}

// Mended: a failed backup has not touched the card, but restoring cleaned it and put back only
// the files the backup had reached.
TEST_F(RestoreTest, RestoreAfterAFailedPanelBackupDeletesNothing) {
  OldPanelCard();
  fake.FailCall("CopyFile", kErrDiskFull, 2);
  ASSERT_FALSE(BackupFiles(true));
  ASSERT_EQ(backupFileList.size(), 1u);

  AttemptRestore();
  EXPECT_FALSE(Logged("  attempting to clean the CF."));
  EXPECT_EQ(fake.CallCount("DeleteFile"), 0u);
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\DATA\\TABLE.DAT"), "table");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\BPANEL.INI"), "settings");
  EXPECT_EQ(fake.ReadFile("E:\\NK.BIN"), "os image");
}

// Mended: with nothing to put back, cleaning a panel card only destroyed its application.
TEST_F(RestoreTest, RestoreWithAnEmptyBackupDeletesNothing) {
  OldPanelCard();
  job.storeInProgress = 0;  // "Restore Only" with no backup made
  job.skipBackup = 1;
  ASSERT_TRUE(backupFileList.empty());

  EXPECT_TRUE(AttemptRestore());  // the card as it is still verifies
  EXPECT_EQ(fake.CallCount("DeleteFile"), 0u);
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\DATA\\TABLE.DAT"), "table");
  EXPECT_TRUE(Logged("  no complete backup, the CF is not cleaned."));
  EXPECT_TRUE(Logged("RestoreFiles"));
  EXPECT_GE(fake.DismountCount('E'), 1);
}

}  // namespace
}  // namespace cw
