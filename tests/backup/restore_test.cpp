#include <gtest/gtest.h>

#include "backup/backup.h"
#include "job/attempt_restore.h"
#include "backup/backup_folder.h"
#include "backup/file_listings.h"
#include "support/job_fixture.h"
#include "record/job_io.h"
#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "rules/bhelper.h"
#include "support/crc.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::Crc;

const std::string kData = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";
const std::string kEngineRoot = kData + "\\QUORVANE_ENGINE_CF_BACKUP";
const std::string kPanelRoot = kData + "\\QUORVANE_PANEL_CF_BACKUP";


class RestoreTest : public test::JobFixture {
 protected:
  CardFacts card;
  LoadedPackage package;
  // A store's, unless a test makes it "Restore Only"; only its backup choice and data folder
  // reach the restore.
  StoreRequest request{.cardPath = "", .packagePath = "", .dataPath = test::kDataPath,
                       .target = TargetChoice::kNone, .backup = {}};

 protected:
  RestoreTest() {
    fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
    fake.AddFolder("C:\\HOME\\TECH\\DOCUMENTS");
    state.backupSkipped = 0;
    state.softwareTestMode = 0;
    package.has3950Support = 0;
  }

  void CardFile(const std::string& path, const std::string& content) {
    fake.WriteFile(path, content);
    state.cardFileList.push_back(path);
  }

  // An Engine card as an earlier store left it: its stored package and the package's file.
  void OldEngineCard() {
    state.targetType = kTargetEngine;
    state.backupRoot = kEngineRoot;
    CardFile("E:\\UPGRADE.FWP", BuildPackage(test::EngineRelease("old")));
    CardFile("E:\\APP\\MAIN.BIN", "old");
  }

  // A 3940 panel card: its OS image, application files, settings and CRC list.
  void OldPanelCard() {
    state.targetType = kTargetPanel3940;
    state.backupRoot = kPanelRoot;
    card.osOnCard = 1;
    package.osInPackage = 0;
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
    for (const std::string& path : state.cardFileList)
      if (path.find("UPGRADE") == std::string::npos && path.find("CRCS") == std::string::npos)
        fake.WriteFile(path, "new");
  }
};

TEST_F(RestoreTest, StoreWithoutBackupCannotRestore) {
  OldEngineCard();
  state.backupSkipped = 1;
  DamageCard();
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kNotPossible);
  EXPECT_EQ(job.statusText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_TRUE(Logged("Restore Not Possible!! No Backup Files!!"));
  EXPECT_EQ(job.diagnosticsText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseIdle);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new");
  EXPECT_EQ(fake.SleepCount(), 0u);  // the job never waits for a display
}

TEST_F(RestoreTest, EngineCardIsNotCleanedAndVerifiesAgainstItsStoredCopy) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  DamageCard();
  fake.WriteFile("E:\\APP\\EXTRA.BIN", "extra");

  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old");
  // Not cleaned; only what the failed store wrote beside the old files goes.
  EXPECT_FALSE(fake.Exists("E:\\APP\\EXTRA.BIN"));
  EXPECT_FALSE(Logged("  attempting to clean the CF."));
  EXPECT_FALSE(Logged("CleanCF"));
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
  EXPECT_NE(job.diagnosticsText.Get().find("Restore OK!!"), std::string::npos);
  EXPECT_EQ(job.restoreState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseDone);
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
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  DamageCard();
  package.has3950Support = 1;

  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
  EXPECT_EQ(package.has3950Support, 0);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old");
}

TEST_F(RestoreTest, RestoreOnlyWithoutCreateBackupStillRestores) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  DamageCard();
  state.backupSkipped = 1;
  request.backup.skip = true;
  request.backup.restoreOnly = true;
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old");
}

TEST_F(RestoreTest, PanelCardIsCleanedThenRestoredFromACompleteBackup) {
  OldPanelCard();
  ASSERT_TRUE(BackupFiles(state, card, package, true));
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\APP.EXE"));  // the backup erased it
  // The failed store left a broken application file.
  fake.WriteFile("E:\\BREVANT\\APP.EXE", "new");

  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
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
  ASSERT_TRUE(BackupFiles(state, card, package, true));
  fake.WriteFile("E:\\BREVANT\\NEW\\PLUGIN.DLL", "new plugin");

  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\NEW\\PLUGIN.DLL"));
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
}

TEST_F(RestoreTest, RestoreCountsAndSetsTheProgressRangeToTheBackup) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_TRUE(RestoreFiles(state));
  EXPECT_EQ(job.statusText.Get(), "2 Files Restored");
  EXPECT_EQ(job.progressMin.load(), 0);
  EXPECT_EQ(job.progressMax.load(), 2);
  EXPECT_EQ(job.progressPos.load(), 1);
  EXPECT_TRUE(Logged("RestoreFiles"));
}

// Mended: a missing folder failed the copy, and the first failed copy ended the restore with
// the remaining files left in the backup. Now the tree comes back and every file that can go
// back does; each one that cannot is named.
TEST_F(RestoreTest, ReformattedOrPartlyDeletedCardGetsItsWholeTreeBack) {
  for (const bool reformatted : {true, false}) {
    SCOPED_TRACE(reformatted ? "reformatted card" : "one folder deleted");
    fake.RemoveTree("E:");
    fake.RemoveTree(kPanelRoot);
    state.cardFileList.clear();
    job.diagnosticsText.Set("");
    OldPanelCard();
    ASSERT_TRUE(BackupFiles(state, card, package, false));
    fake.RemoveTree(reformatted ? "E:" : "E:\\BREVANT\\DATA");

    EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
    EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\DATA\\TABLE.DAT"), "table");
    EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
    EXPECT_EQ(fake.ReadFile("E:\\NK.BIN"), "os image");
    EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
  }

  // One file that cannot go back: the others still do, and the restore is not OK.
  fake.RemoveTree("E:");
  job.diagnosticsText.Set("");
  fake.FailCall("CopyFile", kErrSharingViolation, 1, kPanelRoot + "\\BREVANT\\APP.EXE");
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kFailed);
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\DATA\\TABLE.DAT"), "table");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\BPANEL.INI"), "settings");
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\APP.EXE"));
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
  const std::string transcript = job.diagnosticsText.Get();
  EXPECT_TRUE(transcript.ends_with("\r\nCopy File Error - 32 - E:\\BREVANT\\APP.EXE\r\n"
                                   "Restore Failed!! Compact flash is not usable!!"))
      << transcript;
  EXPECT_EQ(transcript.find("Copy File Error"), transcript.rfind("Copy File Error"));
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
}

TEST_F(RestoreTest, FailedEjectionEndsTheRestoreAsFailed) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  fake.FailAlways("OpenVolume", kErrAccessDenied);
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kFailed);
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
  EXPECT_FALSE(Logged("  attempting to load the info array."));
}

TEST_F(RestoreTest, CardWithoutReferenceFailsToReload) {
  state.targetType = kTargetEngine;
  state.backupRoot = kEngineRoot;
  CardFile("E:\\APP\\MAIN.BIN", "old");  // no stored package on this card
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kFailed);
  EXPECT_TRUE(Logged("  failed to load info array."));
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
  EXPECT_TRUE(prompt.Contains("Stored FWP file not found on flash."));
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
}

TEST_F(RestoreTest, RestoredCardThatDoesNotVerifyIsReported) {
  OldEngineCard();
  fake.WriteFile("E:\\APP\\MAIN.BIN", "not what the stored copy says");
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kFailed);
  EXPECT_EQ(job.restoreState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseFailed);
  EXPECT_EQ(job.statusText.Get(), "Restore Failed!! Compact flash is not usable!!");
}

TEST_F(RestoreTest, BenchModeShowsItsSuggestionBeforeTheCheck) {
  OldEngineCard();
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  state.softwareTestMode = 1;
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
  state.softwareTestMode = 0;
  EXPECT_TRUE(prompt.Contains(
      "A bad file store has caused a restore.\r\nSuggestion: Mess with the files on the CF"));
}

// Mended: a failed backup has not touched the card, but restoring cleaned it and put back only
// the files the backup had reached. A folder marked incomplete, by this job or by an earlier
// run that died half-way, is never trusted: nothing is deleted, nothing copied, never OK.
TEST_F(RestoreTest, BackupMarkedIncompleteRestoresNothing) {
  OldPanelCard();
  fake.FailCall("CopyFile", kErrDiskFull, 2);
  ASSERT_FALSE(BackupFiles(state, card, package, true));
  ASSERT_EQ(state.backupFileList.size(), 1u);
  ASSERT_TRUE(fake.Exists(BackupMarkName(kPanelRoot)));

  // The same job, then a "Restore Only" of a later run that lists the half-made folder.
  for (const bool laterRun : {false, true}) {
    SCOPED_TRACE(laterRun ? "later run" : "same job");
    if (laterRun) {
      request.backup.restoreOnly = true;
      GetBackupFilesArray(state, BackupRootForTarget(state, request.dataPath, false),
                          state.backupFileList);
    }
    fake.ClearCalls();
    job.diagnosticsText.Set("");
    EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kNotPossible);
    EXPECT_EQ(fake.CallCount("DeleteFile"), 0u);
    EXPECT_EQ(fake.CallCount("CopyFile"), 0u);
    EXPECT_EQ(job.statusText.Get(), kBackupIncompleteText);
    EXPECT_EQ(job.diagnosticsText.Get(), kBackupIncompleteText);
    EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
    EXPECT_EQ(job.restoreVerifyState.load(), kPhaseIdle);
  }
  EXPECT_FALSE(Logged("  attempting to clean the CF."));
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\DATA\\TABLE.DAT"), "table");
  EXPECT_EQ(fake.ReadFile("E:\\NK.BIN"), "os image");

  // A complete backup takes the mark away; a folder without one, as made before the mark
  // existed, is complete.
  ASSERT_TRUE(BackupFiles(state, card, package, true));
  EXPECT_FALSE(fake.Exists(BackupMarkName(kPanelRoot)));
  fake.WriteFile("E:\\BREVANT\\APP.EXE", "broken");
  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
}

// Mended: with nothing to put back, the restore still ejected, verified the card as it was and
// reported "Restore OK!!". Nothing restored never reads as OK, and nothing is deleted.
TEST_F(RestoreTest, RestoreWithAnEmptyBackupIsNotPossible) {
  OldPanelCard();
  request.backup.skip = true;
  request.backup.restoreOnly = true;  // no backup made
  ASSERT_TRUE(state.backupFileList.empty());

  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kNotPossible);
  EXPECT_EQ(fake.CallCount("DeleteFile"), 0u);
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
  EXPECT_EQ(job.statusText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_EQ(job.diagnosticsText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
  EXPECT_EQ(fake.DismountCount('E'), 0);
}

// Mended: with the data folder in the temporary folder (not upper-cased) the upper-cased
// listing never matched the backup root, and every "restored" file was copied onto itself.
TEST_F(RestoreTest, BackupPathsMapBackWhateverTheCaseOfTheDataFolder) {
  request.dataPath = "C:\\Temp\\";
  OldEngineCard();
  state.backupRoot = BackupRootForTarget(state, request.dataPath, false);
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  DamageCard();
  GetBackupFilesArray(state, state.backupRoot, state.backupFileList);  // upper-cased, as stage 8
  ASSERT_EQ(state.backupFileList.size(), 2u);
  ASSERT_NE(state.backupFileList[0].find("C:\\TEMP\\"), std::string::npos);

  EXPECT_EQ(AttemptRestore(state, request, card, package), RestoreOutcome::kVerified);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old");
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
}

}  // namespace
}  // namespace cw
