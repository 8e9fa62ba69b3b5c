// The store job's backups by proof: a backup that did not complete never changes the card, the
// previous backup moves whole into the history, every complete backup has a manifest, and a
// restore checks the backup before it touches the card and the card afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "backup/backup_history.h"
#include "backup/backup_manifest.h"
#include "job/jobs.h"
#include "package/crc_list_writer.h"
#include "record/job_io.h"
#include "support/crc.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::Crc;
using test::MakeFile;
using test::kDataPath;
using Tree = std::map<std::string, std::string>;

const std::string kPanelRoot = std::string(kDataPath) + "\\QUORVANE_PANEL_CF_BACKUP";
const std::string kEngineRoot = std::string(kDataPath) + "\\QUORVANE_ENGINE_CF_BACKUP";

class StoreBackupTest : public test::JobFixture {
 protected:
  StoreBackupTest() { fake.SetSerialNumber('E', 0xB0B0000B); }

  // A 3940 panel card; `own` names a file only this card has.
  void PanelCard(const std::string& own) {
    fake.RemoveTree("E:");
    fake.WriteFile("E:\\NK.BIN", "os");
    fake.WriteFile("E:\\BREVANT\\APP.EXE", "old app");
    fake.WriteFile("E:\\BREVANT\\" + own, own);
    fake.WriteFile("E:\\Quorvane File CRCs.dat",
                   BuildCRCList({{"NK.BIN", Crc("os")}, {"BREVANT\\APP.EXE", Crc("old app")}}));
  }
  JobResult Store(const PackageSpec& spec) {
    PutPackage(spec);
    ChooseForJob(test::kPackagePath);
    job.diagnosticsText.Set("");
    PrepareStoreJob(job);
    JobState fresh(fake, job);
    return DownloadAndVerifyJob(fresh, request);
  }
  JobResult RestoreOnly(const std::string& name = "") {
    ChooseForJob(test::kPackagePath);
    request.backup.restoreOnly = true;
    request.backup.skip = true;
    request.backup.restoreName = name;
    PrepareStoreJob(job);
    JobState fresh(fake, job);
    const JobResult code = DownloadAndVerifyJob(fresh, request);
    request.backup.restoreOnly = false;
    request.backup.skip = false;
    return code;
  }
  // The complete backups of card B (serial B0B0-000B), wherever they are.
  size_t ProvenBackupsOfB() {
    size_t count = 0;
    for (const BackupEntry& e : ListBackups(fake, kPanelRoot, true))
      count += !e.incomplete && e.manifestState == ManifestState::kRead && e.problem.empty() &&
               e.manifest.cardSerial == 0xB0B0000B;
    return count;
  }
};

// However the backup of card A fails, A keeps every file, nothing restores onto it, and card
// B's backup stays whole.
TEST_F(StoreBackupTest, ABackupThatDidNotCompleteNeverChangesTheCard) {
  PanelCard("ONLY_B.TXT");
  ASSERT_EQ(Store(test::PanelRelease()).outcome, JobOutcome::kPassed)
      << job.diagnosticsText.Get() << job.statusText.Get();
  fake.SetSerialNumber('E', 0xA0A0000A);
  const struct {
    const char* op;
    std::string path;
  } kFailures[] = {{"OpenFile", kPanelRoot + ".incomplete"},  // the mark cannot be written
                   {"MoveFile", kPanelRoot},                   // nor the old backup moved
                   {"CopyFile", "E:\\BREVANT\\ONLY_A.TXT"},      // nor a copy made
                   {"Flush", kPanelRoot + ".manifest"}};       // nor the manifest kept
  for (const auto& failure : kFailures) {
    SCOPED_TRACE(failure.op);
    PanelCard("ONLY_A.TXT");
    fake.SetFileAttributes("E:\\BREVANT\\APP.EXE", kAttrReadOnly | kAttrArchive);
    const Tree before = fake.Files("E:");
    fake.FailAlways(failure.op, kErrDiskFull, failure.path);
    EXPECT_EQ(Store(test::PanelRelease()).outcome, JobOutcome::kRefused);
    fake.ClearFailures();
    EXPECT_EQ(fake.Files("E:"), before);
    EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
    EXPECT_EQ(prompt.messages().back(), "File Backup Failed. Process aborted.\r\n");
    EXPECT_EQ(ProvenBackupsOfB(), 1u);
    // Only attributes change, and the transcript names them.
    const std::string transcript = job.diagnosticsText.Get();
    if (std::string(failure.op) == "CopyFile" || std::string(failure.op) == "Flush")
      EXPECT_NE(transcript.find("attribute of:\r\n  E:\\BREVANT\\APP.EXE"), std::string::npos)
          << transcript;
    else
      EXPECT_NE(transcript.find("The card's files are unchanged.\r\n"), std::string::npos);
  }
}

// A stop after the cleaning began restores from the job's own record, even when the disk
// cannot be asked about the backup's mark (a network share that dropped).
TEST_F(StoreBackupTest, AStopAfterCleaningRestoresWhateverTheDiskSays) {
  class StopAtCleaning : public FakePlatform {
   public:
    JobContext* job = nullptr;
    bool DeleteFile(const std::string& path) override {
      if (path.rfind("E:", 0) == 0) job->stopRequested = 1;
      return FakePlatform::DeleteFile(path);
    }
  } platform;
  platform.job = &job;
  platform.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
  platform.AddFolder("C:\\HOME\\TECH\\DOCUMENTS");
  platform.WriteFile(test::kPackagePath, BuildPackage(test::PanelRelease()));
  platform.WriteFile("E:\\NK.BIN", "os");
  platform.WriteFile("E:\\BREVANT\\APP.EXE", "old app");
  platform.WriteFile("E:\\Quorvane File CRCs.dat",
                     BuildCRCList({{"NK.BIN", Crc("os")}, {"BREVANT\\APP.EXE", Crc("old app")}}));
  ChooseForJob(test::kPackagePath);
  platform.FailAlways("GetFileInfo", 64, kPanelRoot + ".incomplete");
  PrepareStoreJob(job);
  JobState onPlatform(platform, job);
  const JobResult result = DownloadAndVerifyJob(onPlatform, request);
  EXPECT_EQ(result.outcome, JobOutcome::kStopped);
  EXPECT_EQ(result.stop, kStoppedRestored) << job.diagnosticsText.Get();
  EXPECT_EQ(platform.ReadFile("E:\\BREVANT\\APP.EXE"), "old app");
}

// Each backup moves the one before into the history, named by date and card; the history
// keeps as many as asked, and a folder marked by an earlier version keeps its mark there.
TEST_F(StoreBackupTest, TheHistoryKeepsEarlierBackupsWholeAndMarked) {
  fake.SetLocalTime({2026, 12, 8, 4, 45, 12, 0});
  fake.WriteFile(kEngineRoot + "\\HALF.BIN", "half of an earlier version's backup");
  fake.WriteFile(kEngineRoot + ".incomplete", "begun, never finished");
  fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(PackageSpec{}));
  fake.WriteFile("E:\\APP\\MAIN.BIN", "first");
  const PackageSpec release = test::EngineRelease("second");
  ASSERT_EQ(Store(release).outcome, JobOutcome::kPassed);
  const std::string history = kEngineRoot + "_HISTORY";
  std::vector<std::string> names = fake.List(history);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"2026-12-08_044512_unknown",
                                             "2026-12-08_044512_unknown.incomplete"}));
  EXPECT_EQ(RestoreOnly("2026-12-08_044512_unknown").outcome, JobOutcome::kRefused);
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);  // refused before anything changed
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "second");

  request.backup.kept = 1;
  ASSERT_EQ(Store(release).outcome, JobOutcome::kPassed);
  EXPECT_EQ(ListBackups(fake, kEngineRoot, false).size(), 2u);  // the latest and one earlier
  fake.WriteFile(std::string(kDataPath) + "\\BackupsKept.txt", "0\r\n");
  request.backup.kept = -1;
  ASSERT_EQ(Store(release).outcome, JobOutcome::kPassed);
  EXPECT_EQ(fake.List(history), std::vector<std::string>{});
  BackupManifest manifest;
  ASSERT_EQ(ReadManifest(fake, kEngineRoot, &manifest), ManifestState::kRead);
  EXPECT_EQ(manifest.cardSerial, 0xB0B0000Bu);
  EXPECT_EQ(manifest.cardBytes, 64ull << 20);  // the fixture's card, as the job took it
  EXPECT_EQ(manifest.files.size(), 4u);  // UPGRADE.FWP, FWPVERS.BIN, the record, MAIN.BIN
}

// "Restore Only" checks the backup before it touches the card; a restore after a failed store
// puts back exactly the old card, the files the failed store wrote removed.
TEST_F(StoreBackupTest, RestoresCheckTheBackupBeforeAndTheCardAfter) {
  fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(test::EngineRelease("old")));
  fake.WriteFile("E:\\APP\\MAIN.BIN", "old");
  const Tree before = fake.Files("E:");
  PackageSpec release;
  release.panel3950Support = true;
  release.files = {MakeFile(kKindEngine2, "APP\\MAIN.BIN", "new"),
                   MakeFile(kKindEngine2, "APP\\NEW.BIN", "only in the new release"),
                   MakeFile(kKindPanel3950Raw, "PANEL\\P3950.BIN", "3950 file")};
  fake.FailAlways("OpenFile", kErrAccessDenied, "E:\\FWPVers.bin");
  EXPECT_EQ(Store(release).outcome, JobOutcome::kFailed);
  fake.ClearFailures();
  EXPECT_EQ(job.statusText.Get(), "Restore OK!!") << job.diagnosticsText.Get();
  EXPECT_EQ(fake.Files("E:"), before);

  fake.WriteFile(kEngineRoot + "\\APP\\MAIN.BIN", "damaged on the PC");
  fake.WriteFile("E:\\APP\\MAIN.BIN", "the card now");
  EXPECT_EQ(RestoreOnly().outcome, JobOutcome::kFailed);
  EXPECT_NE(job.statusText.Get().find("The backup of APP\\MAIN.BIN does not match"),
            std::string::npos)
      << job.statusText.Get();
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "the card now");
}

// "Restore Only" of another card's backup (a card swapped, or reformatted: its serial number
// differs) goes ahead only when the user says so.
TEST_F(StoreBackupTest, AnotherCardsBackupGoesOnlyWithTheUsersWord) {
  PanelCard("ONLY_B.TXT");
  ASSERT_EQ(Store(test::PanelRelease()).outcome, JobOutcome::kPassed);
  PanelCard("ONLY_A.TXT");
  fake.SetSerialNumber('E', 0xA0A0000A);
  for (const MessageResult answer : {MessageResult::Cancel, MessageResult::Ok}) {
    prompt.QueueAnswer(answer);
    RestoreOnly();
    EXPECT_NE(prompt.messages().back().find("taken from another card (serial B0B0-000B"),
              std::string::npos);
    EXPECT_EQ(fake.Exists("E:\\BREVANT\\ONLY_B.TXT"), answer == MessageResult::Ok);
  }
  request.backup.otherCard = OtherCardBackup::kRefuse;  // the command line without --other-card
  PanelCard("ONLY_A.TXT");
  EXPECT_EQ(RestoreOnly().outcome, JobOutcome::kRefused);
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\ONLY_B.TXT"));
}

// The kind is settled (the model chooser) before a backup folder is chosen, and a backup that
// cannot fit on the PC's disk is refused before anything changes.
TEST_F(StoreBackupTest, KindFirstAndRoomFirst) {
  fake.WriteFile("E:\\BREVANT\\APP.EXE", "a card that does not tell its kind");
  prompt.QueueModelChoice(kTargetPanel3940);
  request.target = TargetChoice::kPanel;
  PackageSpec spec = test::PanelRelease();
  Store(spec);
  EXPECT_TRUE(fake.Exists(kPanelRoot + "\\BREVANT\\APP.EXE"));
  EXPECT_FALSE(fake.Exists(kEngineRoot));

  PanelCard("ONLY_A.TXT");
  const Tree before = fake.Files("E:");
  fake.SetFreeBytes('C', 10);
  EXPECT_EQ(Store(spec).outcome, JobOutcome::kRefused);
  EXPECT_NE(prompt.messages().back().find("File Backup Failed"), std::string::npos);
  const std::vector<std::string> messages = prompt.messages();
  EXPECT_NE(messages[messages.size() - 2].find("bytes are needed, 10 are free"), std::string::npos);
  EXPECT_EQ(fake.Files("E:"), before);
  EXPECT_FALSE(fake.Exists(kPanelRoot + "_HISTORY"));
}

TEST(BackupManifestTest, ReadsWhatItWritesAndNothingCutShort) {
  BackupManifest m{.targetType = 2, .cardSerial = 0x1234ABCD, .cardLabel = "CARD\r\nX",
                   .cardBytes = 67108864, .date = "2026-12-08 04:45:12", .programVersion = "1.061",
                   .packageVersions = "Release Number: 7",
                   .files = {{"NK.BIN", 6, 0x01020304}, {"BREVANT\\A B.EXE", 0, 0xFFFFFFFF}}};
  const std::string text = ComposeManifest(m);
  const std::optional<BackupManifest> back = ParseManifest(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->cardSerial, m.cardSerial);
  EXPECT_EQ(back->cardLabel, "CARD  X");  // one line, whatever the label holds
  EXPECT_EQ(back->cardBytes, m.cardBytes);
  // A manifest written before the card's size was kept still reads, with its size unknown.
  std::string older = text;
  older.erase(older.find("Card bytes: "), older.find("Date: ") - older.find("Card bytes: "));
  const std::optional<BackupManifest> old = ParseManifest(older);
  ASSERT_TRUE(old);
  EXPECT_EQ(old->cardBytes, 0u);
  EXPECT_EQ(old->date, m.date);
  EXPECT_EQ(back->targetType, 2);
  ASSERT_EQ(back->files.size(), 2u);
  EXPECT_EQ(back->files[1].path, "BREVANT\\A B.EXE");
  EXPECT_EQ(back->files[1].crc, 0xFFFFFFFFu);
  EXPECT_EQ(SerialText(m.cardSerial), "1234-ABCD");
  for (size_t cut = 0; cut + 2 < text.size(); cut += 7)
    EXPECT_FALSE(ParseManifest(text.substr(0, cut))) << cut;
  for (const char* hostile : {"File: 99999999999999999999999 00000000 X", "File: 1 0000000 X",
                              "Card bytes: 1x",
                              "File: 1 00000000 ", "Files: 4294967296"}) {
    std::string bad = text;
    const size_t at = bad.find(std::string(hostile).substr(0, 6));
    bad.replace(at, bad.find('\r', at) - at, hostile);
    EXPECT_FALSE(ParseManifest(bad)) << hostile;
  }
}

}  // namespace
}  // namespace cw
