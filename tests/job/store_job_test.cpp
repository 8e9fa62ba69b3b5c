// The store job on the in-memory platform: stage by stage, with scripted answers.
#include <gtest/gtest.h>

#include <map>

#include "backup/backup.h"
#include "support/job_fixture.h"
#include "record/job_io.h"
#include "job/jobs.h"
#include "job/job_stop.h"
#include "package/package_check.h"
#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "rules/bhelper.h"
#include "support/crc.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::Crc;
using test::EngineRelease;

const std::string kPackage = "C:\\WORK\\PKG.FWP";
const std::string kData = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";
const std::string kEngineRoot = kData + "\\QUORVANE_ENGINE_CF_BACKUP";
const std::string kPanelRoot = kData + "\\QUORVANE_PANEL_CF_BACKUP";
const char kQuestion[] =
    "All files will be replaced with new ones.\r\n\r\nIf you do not want files replaced click "
    "Cancel.\r\n";

using Tree = std::map<std::string, std::string>;


class StoreJobTest : public test::JobFixture {
 protected:
  StoreJobTest() {
    ChooseForJob(kPackage);
    state.softwareTestMode = 0;
  }

  void Package(PackageSpec spec) { fake.WriteFile(kPackage, packageBytes_ = BuildPackage(spec)); }
  void OldEngineCard() {
    PackageSpec old = EngineRelease("old main");
    fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(old));
    fake.WriteFile("E:\\APP\\MAIN.BIN", "old main");
    fake.WriteFile("E:\\NOTES.TXT", "notes");
  }
  void OldPanelCard() {
    fake.WriteFile("E:\\NK.BIN", "os");
    fake.WriteFile("E:\\BREVANT\\APP.EXE", "old app");
    fake.WriteFile("E:\\BREVANT\\BPANEL.INI", "settings");
    fake.WriteFile("E:\\Quorvane File CRCs.dat",
                   BuildCRCList({{"NK.BIN", Crc("os")}, {"BREVANT\\APP.EXE", Crc("old app")}}));
  }

  JobResult Run() {
    PrepareStoreJob(job);
    const JobResult code = DownloadAndVerifyJob(state, request, &found);
    return code;
  }
  // What the last Run found on the card and made of the package.
  JobFindings found;

  std::vector<std::string> StageLines() const {
    std::vector<std::string> stages;
    for (const std::string& line : LogLines())
      if (line.rfind("  Stage ", 0) == 0) stages.push_back(line);
    return stages;
  }
  static std::vector<std::string> Stages(std::initializer_list<int> numbers) {
    std::vector<std::string> lines;
    for (int n : numbers) lines.push_back(Format("  Stage %d...", n));
    return lines;
  }

  std::string packageBytes_;
};

TEST_F(StoreJobTest, EngineCardReceivesThePackageItsCopyAndTheVersionFile) {
  OldEngineCard();
  Package(EngineRelease());
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);

  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new main");
  EXPECT_EQ(fake.ReadFile("E:\\UPGRADE.FWP"), packageBytes_);
  EXPECT_EQ(fake.ReadFile("E:\\FWPVers.bin"),
            std::string("\x01\0\0\0\x09\0\0\0A\0\0\0\x02\0\0\0\x0F\0\0\0B\0\0\0", 24));
  EXPECT_EQ(fake.ReadFile("E:\\FWP_INFO_FILE.TXT"), state.upgradeInfoText);
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\RELEASENUMBER"));
  EXPECT_EQ(fake.ReadFile(kEngineRoot + "\\APP\\MAIN.BIN"), "old main");

  EXPECT_EQ(StageLines(), Stages({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
  EXPECT_TRUE(Logged("  proceeding to program the flash.  Backup?  Yes"));
  EXPECT_TRUE(Logged("  Target is the engine."));
  EXPECT_TRUE(Logged("  1 Files stored"));
  EXPECT_TRUE(Logged("    wrote the data."));
  EXPECT_EQ(LogLines().back(), "  DownloadAndVerify complete.");
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kQuestion});

  EXPECT_EQ(job.prepState.load(), kPhaseDone);
  EXPECT_EQ(job.storeState.load(), kPhaseDone);
  EXPECT_EQ(job.verifyState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(job.jobRunning.load(), 0);
  EXPECT_EQ(job.statusText.Get(), "Done!");
  const std::string transcript = job.diagnosticsText.Get();
  size_t at = 0;
  for (const char* word : {"\r\nExtracting files", "\r\nExtract complete",
                           "Preparing to verify stored files...", "\r\nVerifying",
                           "\r\nVerify Complete", "\r\nDownload Complete."}) {
    at = transcript.find(word, at);
    EXPECT_NE(at, std::string::npos) << word;
  }
}

// The card verified, so a refused upgrade record is a warning, not a failure.
TEST_F(StoreJobTest, AnUpgradeRecordThatCannotBeWrittenIsAWarning) {
  const char* warning =
      "Warning: the upgrade record could not be written to FWP_INFO_FILE.TXT.\r\n"
      "The card itself verified.\r\n";
  size_t warned = 0;
  for (const char* op : {"Write", "Close", "OpenFile"}) {
    OldEngineCard();
    fake.DeleteFile("E:\\FWP_INFO_FILE.TXT");
    Package(EngineRelease());
    fake.FailCall(op, kErrDiskFull, 1, "E:\\FWP_INFO_FILE.TXT");
    EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << op;
    EXPECT_EQ(job.verifyState.load(), kPhaseDone);
    EXPECT_EQ(prompt.Count(warning), ++warned) << op;
    const std::string ending = std::string(warning) + "\r\nDownload Complete.";
    const std::string transcript = job.diagnosticsText.Get();
    EXPECT_EQ(transcript.substr(transcript.size() - std::min(transcript.size(), ending.size())),
              ending)
        << op;
  }
  size_t logged = 0;
  for (const std::string& line : LogLines())
    if (line.rfind("  could not write the upgrade record to E:\\FWP_INFO_FILE.TXT", 0) == 0) ++logged;
  EXPECT_EQ(logged, 3u);
}

TEST_F(StoreJobTest, VersionFileOfAnOldFormatCarriesNoGeneratorValues) {
  OldEngineCard();
  PackageSpec spec = EngineRelease();
  spec.formatRevision = 7;
  spec.formatLetter = 'C';
  spec.generatorVersion = 3;
  spec.generatorRevision = 4;
  spec.generatorLetter = 'D';
  Package(spec);
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_EQ(fake.ReadFile("E:\\FWPVers.bin"),
            std::string("\x01\0\0\0\x07\0\0\0C\0\0\0", 12) + std::string(12, '\0'));
}

// The job describes the package it stores, whatever the front end read when another was chosen.
TEST_F(StoreJobTest, TheVersionFileAndRecordAreThoseOfThePackageStored) {
  OldEngineCard();
  PackageSpec spec = EngineRelease();
  spec.formatRevision = 8;
  Package(spec);
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_EQ(fake.ReadFile("E:\\FWPVers.bin"),
            std::string("\x01\0\0\0\x08\0\0\0A\0\0\0\x02\0\0\0\x0F\0\0\0B\0\0\0", 24));
  EXPECT_NE(state.upgradeInfoText.find("\r\nFWP File Format Version: 1.008\r\n"
                                       "FWP File Generator Version: 2.015\r\n"),
            std::string::npos);
}

TEST_F(StoreJobTest, PanelCardReceivesTheReleaseNumberAndNoEngineFiles) {
  OldPanelCard();
  Package(test::PanelRelease());
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "new app");
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\RELEASENUMBER"), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\BPANEL.INI"), "settings");
  EXPECT_FALSE(fake.Exists("E:\\UPGRADE.FWP"));
  EXPECT_FALSE(fake.Exists("E:\\FWPVers.bin"));
  EXPECT_EQ(StageLines(), Stages({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18}));
  EXPECT_TRUE(Logged("    writing release number to panel flash."));
}

// The smallest release: one application file, a common file and the CRC list.
TEST_F(StoreJobTest, APanelReleaseOfOneApplicationFileIsStoredAndVerified) {
  OldPanelCard();
  PackageSpec spec = test::PanelRelease();
  spec.files = {test::MakeFile(kKindPanel3940, "BREVANT\\APP.EXE", "new app"),
                test::MakeFile(kKindCommon, "COMMON.DAT", "common"),
                test::MakeFile(kKindPanel3940Raw, "Quorvane File CRCs.dat",
                               BuildCRCList({{"BREVANT\\APP.EXE", Crc("new app")}}))};
  Package(spec);
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "new app");
}

// Card files left read-only, hidden or system are replaced whether or not a backup step ran
// first: without one nothing else clears them, and Windows (the test platform too) refuses to
// replace a hidden or system file.
class ProtectedCardFilesTest : public StoreJobTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProtectedCardFilesTest, EngineCardFilesAreReplaced) {
  request.backup.skip = GetParam();
  OldEngineCard();
  const uint32_t hiddenSystem = kAttrHidden | kAttrSystem | kAttrArchive;
  fake.WriteFile("E:\\APP\\MAIN.BIN", "old main", kAttrHidden);
  fake.WriteFile("E:\\UPGRADE.FWP", fake.ReadFile("E:\\UPGRADE.FWP"), kAttrSystem);
  fake.WriteFile("E:\\FWPVers.bin", "old version", hiddenSystem | kAttrReadOnly);
  fake.WriteFile("E:\\FWP_INFO_FILE.TXT", "", kAttrReadOnly);
  Package(EngineRelease());
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new main");
  EXPECT_EQ(fake.ReadFile("E:\\UPGRADE.FWP"), packageBytes_);
  EXPECT_EQ(fake.ReadFile("E:\\FWPVers.bin").size(), 24u);
  EXPECT_EQ(fake.ReadFile("E:\\FWP_INFO_FILE.TXT"), state.upgradeInfoText);
  for (const char* path : {"E:\\APP\\MAIN.BIN", "E:\\UPGRADE.FWP", "E:\\FWPVers.bin"})
    EXPECT_EQ(fake.Attributes(path) & hiddenSystem & ~kAttrArchive, 0u) << path;
}

TEST_P(ProtectedCardFilesTest, PanelReleaseNumberIsReplaced) {
  request.backup.skip = GetParam();
  OldPanelCard();
  fake.WriteFile("E:\\BREVANT\\RELEASENUMBER", "old", kAttrHidden | kAttrSystem | kAttrReadOnly);
  Package(test::PanelRelease());
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\RELEASENUMBER"), std::string("\x04\x03\x02\x01", 4));
}

INSTANTIATE_TEST_SUITE_P(BackupOnAndOff, ProtectedCardFilesTest, ::testing::Values(0, 1));

TEST_F(StoreJobTest, BenchSwitchIsTakenOutOfTheCardPath) {
  OldEngineCard();
  Package(EngineRelease());
  request.cardPath = " e: BENCH_MODE_ON ";
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_EQ(state.globalFlashPath, "E:");
  EXPECT_EQ(state.softwareTestMode, 1);
  EXPECT_TRUE(Logged("  globalFlashPath is  E: BENCH_MODE_ON "));
  EXPECT_TRUE(prompt.Contains("Suggestion: Go into FWP file and mess it up"));
  EXPECT_TRUE(
      prompt.Contains("Suggestion: Mess with either the files on the CF or the files in "
                      "the backup folder"));
}

// Refusals before the backup: each message, and the card and backup folder as they were.
class StoreRefusalTest : public StoreJobTest {
 protected:
  void ExpectRefused(const std::string& message) {
    const Tree card = fake.Files("E:");
    const Tree backup = fake.Files(kData);
    EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
    if (!message.empty()) {
      EXPECT_TRUE(prompt.Contains(message)) << message;
      EXPECT_NE(job.diagnosticsText.Get().find(message), std::string::npos);
    }
    EXPECT_EQ(fake.Files("E:"), card);
    EXPECT_EQ(fake.Files(kData), backup);
    EXPECT_EQ(job.prepState.load(), kPhaseRunning);
    EXPECT_EQ(job.jobRunning.load(), 0);
    EXPECT_FALSE(Logged("BackupFiles"));
  }
};

TEST_F(StoreRefusalTest, DriveThatIsNotARemovableCard) {
  OldEngineCard();
  Package(EngineRelease());
  request.cardPath = "E:\\CARDS";
  ExpectRefused("Invalid drive type selected.\r\nPlease select a compact flash drive.\r\n");
  EXPECT_TRUE(Logged("  global flash path is not valid."));
}

TEST_F(StoreRefusalTest, VolumeThatDoesNotOpen) {
  OldEngineCard();
  Package(EngineRelease());
  fake.FailAlways("OpenVolume", kErrAccessDenied);
  ExpectRefused("The selected drive is not opening.\r\nDo you have sufficient privileges?\r\n");
  EXPECT_TRUE(Logged("  could not access the flash device - privs?"));
  EXPECT_EQ(fake.CallCount("OpenVolume"), 51u);
}

// Windows' MAX_PATH (259 characters and the NUL, 247 for a folder) is checked at stage 10 for
// every path the job would make: a package file on the card, a card file's copy in the backup
// folder, a previous backup's file once moved into the history. Each is refused, named, before
// the question and before anything changes; without them the same card is stored.
TEST_F(StoreRefusalTest, PathsTooLongForWindowsAreRefusedByName) {
  OldEngineCard();
  const std::string deepFile =
      std::string(120, 'P') + "\\" + std::string(120, 'Q') + "\\LONG_NAME_OF_A_FILE.BIN";
  PackageSpec deep = EngineRelease();
  deep.files.push_back({.kind = kKindEngine2, .cardPath = deepFile, .content = "deep"});
  Package(deep);
  ExpectRefused("E:\\" + deepFile + "\r\nUse shorter folder names");
  EXPECT_TRUE(prompt.Contains("Store Not Possible!! This path would be longer than Windows "
                              "allows (259 characters):"));

  Package(EngineRelease());
  const std::string cardFile = std::string(100, 'A') + "\\" + std::string(100, 'B') + ".TXT";
  fake.WriteFile("E:\\" + cardFile, "on the card");
  ExpectRefused(kEngineRoot + "\\" + cardFile + "\r\n");
  fake.RemoveTree("E:\\" + std::string(100, 'A'));

  const std::string backedUp = std::string(90, 'C') + "\\" + std::string(90, 'D') + ".BIN";
  fake.WriteFile(kEngineRoot + "\\" + backedUp, "in the backup");
  ExpectRefused(kEngineRoot + "_HISTORY\\YYYY-MM-DD_HHMMSS_XXXX-XXXX_NN\\" + backedUp);
  EXPECT_EQ(prompt.Count(kQuestion), 0u);
  EXPECT_FALSE(Logged("  Stage 11..."));
  fake.RemoveTree(kEngineRoot + "\\" + std::string(90, 'C'));

  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new main");
}

TEST_F(StoreRefusalTest, UnknownCardWithoutATargetChoice) {
  fake.WriteFile("E:\\DATA.BIN", "x");
  Package(EngineRelease());
  ExpectRefused(
      "Compact Flash type could not be determined.\r\nUse Advanced Settings to set type.\r\n");
}

TEST_F(StoreRefusalTest, UnknownCardWhoseModelIsNotChosen) {
  fake.WriteFile("E:\\DATA.BIN", "x");
  Package(test::PanelRelease());
  request.target = TargetChoice::kPanel;
  ExpectRefused("Please specify a panel version before continuing.\r\n");
  EXPECT_EQ(prompt.ChooserCount(), 1u);
  EXPECT_TRUE(Logged("  unknown target for panel source."));
}

TEST_F(StoreRefusalTest, PanelFilesForAnEngineCard) {
  OldEngineCard();
  Package(test::PanelRelease());
  request.target = TargetChoice::kPanel;
  ExpectRefused(
      "Placing panel files on the engine compact flash is not permitted.\r\nDownload "
      "terminated. \r\n");
}

TEST_F(StoreRefusalTest, EngineFilesForAPanelCard) {
  OldPanelCard();
  Package(EngineRelease());
  request.target = TargetChoice::kEngine;
  ExpectRefused(
      "Placing engine files on the panel compact flash is not permitted.\r\nDownload "
      "terminated. \r\n");
  EXPECT_TRUE(Logged("  target is panel, but user requests engine files, reject."));
}

// A package that does not fit in memory beside its largest file is refused at its load, before
// the card changes, and never as a failed check; a restore starts with that memory let go.
TEST_F(StoreRefusalTest, APackageTooLargeForMemoryIsRefusedBeforeTheCardChanges) {
  OldEngineCard();
  Package(EngineRelease(std::string(1 << 20, 'z')));  // a small package, a file of 1 MiB
  struct NoLimitAfter {
    ~NoLimitAfter() { SetAllocationLimit(0); }
  } noLimitAfter;
  for (const uint64_t limit : {packageBytes_.size() - 1, packageBytes_.size() + 4096}) {
    SetAllocationLimit(limit);  // no room for the package; then none for its file
    ExpectRefused(kPackageTooLargeText);
    EXPECT_FALSE(prompt.Contains("FWP file failed CRC test!\r\n"));
    EXPECT_TRUE(found.package.packageData.empty() && found.package.inflateBuffer.empty());
  }
  EXPECT_TRUE(Logged("  no memory for a file of 1048576 bytes beside the package."));

  SetAllocationLimit(0);
  found.package.packageData.assign(64, 1);
  found.package.inflateBuffer.assign(64, 2);
  RunRestore(state, request, found.card, found.package);
  EXPECT_TRUE(found.package.packageData.empty());
  EXPECT_TRUE(found.package.inflateBuffer.empty());
}

TEST_F(StoreRefusalTest, DamagedPackage) {
  OldEngineCard();
  Package(EngineRelease());
  std::string bytes = packageBytes_;
  bytes[bytes.size() - 1] ^= 0x55;
  fake.WriteFile(kPackage, bytes);
  ExpectRefused("FWP file failed CRC test!\r\n");
}

TEST_F(StoreRefusalTest, CancelEndsTheJobAtStageTen) {
  OldEngineCard();
  Package(EngineRelease());
  prompt.QueueAnswer(MessageResult::Cancel);
  ExpectRefused("");
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kQuestion});
  EXPECT_EQ(StageLines().back(), "  Stage 10...");
}

TEST_F(StoreRefusalTest, PanelWithoutAnyOperatingSystem) {
  fake.WriteFile("E:\\BREVANT\\APP.EXE", "old app");
  PackageSpec spec = test::PanelRelease();
  spec.winceIncluded = 0;
  Package(spec);
  request.target = TargetChoice::kPanel;
  prompt.QueueModelChoice(kTargetPanel3940);
  ExpectRefused(
      "WinCE OS was neither found on the compact flash nor in the FWP file.\r\nPlease choose a "
      "FWP file that contains the WinCE OS.\r\n");
  EXPECT_TRUE(Logged("  no OS on flash or FWP."));
}

// The room needed is the package's panel files, the kept files and 1000 bytes.
TEST_F(StoreJobTest, PanelSpaceCheckCountsTotalCapacity) {
  OldPanelCard();  // kept: NK.BIN (2) and BPANEL.INI (8), counted with the panel chosen
  request.target = TargetChoice::kPanel;
  const PackageSpec spec = test::PanelRelease(std::string(5000, 'p'));
  Package(spec);
  // The OS image does not count; the application and the CRC list do.
  const uint64_t needed = 5000 + 1 + spec.files[3].content.size() + 10 + 1000;

  fake.AddDrive('E', DriveType::Removable, "FAT", needed - 1);
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_TRUE(Logged("  programming fail.  Not enough room on panel flash."));
  EXPECT_TRUE(prompt.Contains("There is insufficient space on this compact flash"));
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "old app");

  fake.AddDrive('E', DriveType::Removable, "FAT", needed);
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
}

TEST_F(StoreJobTest, UnknownCardTakesTheChosenTarget) {
  fake.WriteFile("E:\\DATA.BIN", "x");
  Package(EngineRelease());
  request.target = TargetChoice::kEngine;
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_EQ(state.targetType, kTargetEngine);
  EXPECT_NE(state.upgradeInfoText.find("Target Device: Other\r\n"), std::string::npos);
  EXPECT_EQ(fake.ReadFile("E:\\UPGRADE.FWP"), packageBytes_);
}

// Mended: the empty card turned "Create Backup" off for the rest of the session, so the next
// card went unbacked-up. It is skipped for the empty card's job only.
TEST_F(StoreJobTest, EmptyCardIsNeverBackedUpButTheNextCardIs) {
  Package(EngineRelease());
  request.target = TargetChoice::kEngine;
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_TRUE(Logged("  proceeding to program the flash.  Backup?  No"));
  EXPECT_FALSE(Logged("BackupFiles"));

  fake.WriteFile("E:\\NOTES.TXT", "notes");
  PrepareStoreJob(job);
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_TRUE(Logged("  proceeding to program the flash.  Backup?  Yes"));
  EXPECT_EQ(fake.ReadFile(kEngineRoot + "\\NOTES.TXT"), "notes");
}

// A backup that never finished (this run or an earlier one) is refused by "Restore Only"
// before anything changes; an empty backup folder restores nothing and is never OK.
TEST_F(StoreJobTest, RestoreOnlyRefusesAnIncompleteOrEmptyBackup) {
  OldPanelCard();
  Package(test::PanelRelease());
  fake.WriteFile(kPanelRoot + "\\BREVANT\\APP.EXE", "old app");
  fake.WriteFile(kPanelRoot + ".incomplete", "");
  request.backup.restoreOnly = true;
  const std::map<std::string, std::string> card = fake.Files("E:");
  Run();
  EXPECT_TRUE(prompt.Contains("The last backup is incomplete: nothing was restored."));
  EXPECT_NE(job.diagnosticsText.Get().find("nothing was restored"), std::string::npos);
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(fake.Files("E:"), card);

  fake.RemoveTree(kPanelRoot);
  fake.DeleteFile(kPanelRoot + ".incomplete");
  PrepareStoreJob(job);
  job.diagnosticsText.Set("");
  Run();
  EXPECT_EQ(job.statusText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_EQ(job.diagnosticsText.Get().find("Restore OK"), std::string::npos);
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
  EXPECT_EQ(fake.Files("E:"), card);
}

TEST_F(StoreJobTest, RestoreOnlyPutsTheBackupBackWithoutAsking) {
  OldEngineCard();
  Package(EngineRelease());
  fake.WriteFile(kEngineRoot + "\\APP\\MAIN.BIN", "old main");
  fake.WriteFile("E:\\APP\\MAIN.BIN", "broken");
  request.backup.restoreOnly = true;
  request.backup.skip = true;
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old main");
  EXPECT_EQ(prompt.Count(), 0u);
  EXPECT_EQ(job.prepState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseDone);
  EXPECT_EQ(StageLines().back(), "  Stage 8...");
  EXPECT_TRUE(Logged("  restoring files."));
  EXPECT_FALSE(fake.Exists("E:\\FWPVers.bin"));
}

// Failures after the backup put the old card back.
class StoreFailureTest : public StoreJobTest {
 protected:
  void ExpectRestored(const Tree& card) {
    EXPECT_EQ(job.jobRunning.load(), 0);
    EXPECT_EQ(job.restoreState.load(), kPhaseDone);
    EXPECT_EQ(job.restoreVerifyState.load(), kPhaseDone);
    EXPECT_EQ(job.statusText.Get(), "Restore OK!!");
    for (const auto& [path, content] : card) EXPECT_EQ(fake.ReadFile(path), content) << path;
    EXPECT_FALSE(fake.Exists("E:\\FWP_INFO_FILE.TXT"));
  }
};

TEST_F(StoreFailureTest, VersionFileThatCannotBeCreated) {
  OldEngineCard();
  Package(EngineRelease());
  const Tree card = fake.Files("E:");
  fake.FailCall("OpenFile", kErrAccessDenied, 1, "E:\\FWPVers.bin");
  EXPECT_EQ(Run().outcome, JobOutcome::kFailed);
  EXPECT_TRUE(Logged("    failed to open."));
  EXPECT_TRUE(prompt.Contains("Failed to place FWP Version file on flash\r\n"));
  EXPECT_TRUE(Logged("    attempting to restore the original files after store failed."));
  EXPECT_EQ(job.storeState.load(), kPhaseFailed);
  ExpectRestored(card);
}

// Mended: a stored copy that could not be written in full was taken for a good one.
TEST_F(StoreFailureTest, StoredCopyThatCannotBeWrittenInFull) {
  OldEngineCard();
  Package(EngineRelease());
  const Tree card = fake.Files("E:");
  fake.FailCall("Write", kErrDiskFull, 1, "E:\\UPGRADE.FWP");
  EXPECT_EQ(Run().outcome, JobOutcome::kFailed);
  EXPECT_TRUE(prompt.Contains("Could not write target FWP file\r\nE:\\UPGRADE.FWP"));
  EXPECT_EQ(job.storeState.load(), kPhaseFailed);
  ExpectRestored(card);
}

TEST_F(StoreFailureTest, MissingMakersFolderForTheReleaseNumber) {
  fake.WriteFile("E:\\NK.BIN", "os");
  fake.WriteFile("E:\\ROOT.TXT", "root");
  fake.WriteFile("E:\\Quorvane File CRCs.dat",
                 BuildCRCList({{"NK.BIN", Crc("os")}, {"ROOT.TXT", Crc("root")}}));
  PackageSpec spec;
  spec.files.push_back({.kind = kKindPanel3940, .cardPath = "APP.EXE", .content = "app"});
  Package(spec);
  const Tree card = fake.Files("E:");
  EXPECT_EQ(Run().outcome, JobOutcome::kFailed);
  EXPECT_TRUE(Logged("    failed to open E:\\Brevant\\ReleaseNumber"));
  EXPECT_TRUE(prompt.Contains("Failed to place Release file on flash"));
  EXPECT_EQ(job.storeState.load(), kPhaseFailed);
  ExpectRestored(card);
}

// After a good write a card that cannot be ejected is told so and verified as it is: the
// ejection alone never puts the backup back.
TEST_F(StoreFailureTest, CardThatCannotBeEjectedIsStillVerified) {
  OldEngineCard();
  Package(EngineRelease());
  fake.FailCall("CloseVolume", kErrIoDevice, 2);  // the probe's closes, the ejection's does not
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  EXPECT_TRUE(Logged("  Could not eject compact flash; verifying the card as it is."));
  EXPECT_TRUE(prompt.Contains("CloseVolume Failed. 1117"));
  EXPECT_EQ(job.storeState.load(), kPhaseDone);
  EXPECT_EQ(job.verifyState.load(), kPhaseDone);
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new main");
}

// Another program holds the card (an Explorer window on it): the ejection says so and asks
// again rather than dismounting it by force. Whether it is let go or not, the card is verified
// and never put back.
class HeldCardTest : public StoreFailureTest {
 protected:
  // `refusals` locks are refused (negative: all); the held question is answered `answer`.
  void StoreOntoHeldCard(int refusals, MessageResult answer) {
    OldEngineCard();
    Package(EngineRelease());
    prompt.QueueAnswer(MessageResult::Ok);  // the store's own question
    prompt.SetDefaultAnswer(answer);
    fake.HoldVolume('E', refusals);
    EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
    EXPECT_EQ(job.verifyState.load(), kPhaseDone);
    EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
    EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new main");
  }
};

TEST_F(HeldCardTest, LetGoAfterTwoQuestionsTheCardIsEjected) {
  StoreOntoHeldCard(2, MessageResult::Ok);
  EXPECT_EQ(prompt.Count("Another program is using the card E:"), 2u);
  EXPECT_FALSE(prompt.Contains("was not ejected"));
  EXPECT_FALSE(prompt.Contains("Compact Flash is still mounted."));
  EXPECT_EQ(fake.DismountCount('E'), 2);  // before the verification, and at the end
  EXPECT_EQ(fake.CallCount("LockVolume"), 4u);
}

TEST_F(HeldCardTest, NeverLetGoTheCardIsVerifiedAsItIsAndNotRestored) {
  StoreOntoHeldCard(-1, MessageResult::Cancel);
  // Asked once at each ejection, then told the card was not ejected.
  EXPECT_EQ(prompt.Count("Another program is using the card E:"), 2u);
  EXPECT_EQ(prompt.Count("The card E: was not ejected: another program keeps it in use."), 2u);
  EXPECT_EQ(fake.DismountCount('E'), 0);
}

TEST_F(StoreFailureTest, FileThatDoesNotReadBackTriggersTheRestore) {
  OldEngineCard();
  Package(EngineRelease());
  const Tree card = fake.Files("E:");
  // The first read of the new file is verification's.
  fake.FailCall("Read", kErrIoDevice, 1, "E:\\APP\\MAIN.BIN");
  EXPECT_EQ(Run().outcome, JobOutcome::kFailed);
  EXPECT_EQ(job.verifyState.load(), kPhaseFailed);
  EXPECT_NE(job.diagnosticsText.Get().find("Download Failed!! Attempting Restore."),
            std::string::npos);
  ExpectRestored(card);
}

TEST_F(StoreFailureTest, EngineBackupFailureEndsWithoutRestore) {
  OldEngineCard();
  Package(EngineRelease());
  const Tree card = fake.Files("E:");
  fake.FailCall("CopyFile", kErrDiskFull, 2);
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_TRUE(Logged("  File Backup Failed. Process aborted."));
  EXPECT_TRUE(prompt.Contains("File Backup Failed. Process aborted.\r\n"));
  EXPECT_FALSE(Logged("AttemptRestore"));
  EXPECT_EQ(job.prepState.load(), kPhaseFailed);
  EXPECT_EQ(fake.Files("E:"), card);
}

// Mended: the restore after a failed panel backup cleaned a card that had not been changed;
// nothing of the card was removed, so there is nothing to restore.
TEST_F(StoreFailureTest, PanelBackupFailureKeepsEveryCardFile) {
  OldPanelCard();
  fake.WriteFile("E:\\BREVANT\\DATA\\TABLE.DAT", "table");
  Package(test::PanelRelease());
  const Tree card = fake.Files("E:");
  fake.FailCall("CopyFile", kErrDiskFull, 2);
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_FALSE(Logged("AttemptRestore"));
  EXPECT_EQ(job.prepState.load(), kPhaseFailed);
  EXPECT_EQ(fake.CallCount("DeleteFile"), 0u);
  EXPECT_EQ(fake.Files("E:"), card);
}

TEST_F(StoreFailureTest, FailureWithoutBackupCannotBeRestored) {
  OldEngineCard();
  Package(EngineRelease());
  request.backup.skip = true;
  fake.FailCall("OpenFile", kErrAccessDenied, 1, "E:\\FWPVers.bin");
  EXPECT_EQ(Run().outcome, JobOutcome::kFailed);
  EXPECT_TRUE(Logged("  proceeding to program the flash.  Backup?  No"));
  EXPECT_EQ(job.statusText.Get(), "Restore Not Possible!! No Backup Files!!");
  EXPECT_EQ(job.restoreState.load(), kPhaseFailed);
}

TEST_F(StoreJobTest, StopDuringTheBackupEndsTheJob) {
  OldEngineCard();
  Package(EngineRelease());
  PrepareStoreJob(job);
  prompt.QueueAnswer(MessageResult::Ok);
  job.stopRequested = 1;  // seen first by the backup's loop
  EXPECT_EQ(DownloadAndVerifyJob(state, request).outcome, JobOutcome::kStopped);
  EXPECT_EQ(job.jobRunning.load(), 0);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "old main");
}

}  // namespace
}  // namespace cw
