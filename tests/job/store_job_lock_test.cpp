// The store job and the lock of its backup folder, on the in-memory platform: taken at stage 7,
// held through every later step, released on every exit, and a second job refused untouched.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "backup/backup_lock.h"
#include "support/job_fixture.h"
#include "record/job_io.h"
#include "job/jobs.h"
#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "rules/bhelper.h"
#include "verify/verify.h"
#include "support/crc.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::Crc;

const std::string kPackage = "C:\\WORK\\PKG.FWP";
const std::string kData = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";
const std::string kEngineRoot = kData + "\\QUORVANE_ENGINE_CF_BACKUP";
const std::string kPanelRoot = kData + "\\QUORVANE_PANEL_CF_BACKUP";
const std::string kEngineLock = kData + "\\QUORVANE_ENGINE_CF_BACKUP.lock";
const std::string kPanelLock = kData + "\\QUORVANE_PANEL_CF_BACKUP.lock";
const char kBusy[] =
    "Another job is using the backup folder.\r\nWait for it to finish, then try again.\r\n";

using Tree = std::map<std::string, std::string>;

bool LockIsFree(Platform& platform, const std::string& name) {
  return platform.TryAcquireLock(name) != nullptr;
}

// A prompt that notes, at every box and chooser, whether each backup lock was held then; it
// can also end the job by an error at the OK/Cancel question.
class WatchingPrompt : public ScriptedPrompt {
 public:
  explicit WatchingPrompt(Platform& platform) : platform_(platform) {}
  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override {
    Note(text);
    if (throwAtQuestion && buttons == MessageButtons::OkCancel)
      throw std::runtime_error("the window went away");
    return ScriptedPrompt::MessageBox(text, buttons, icon);
  }
  int ChooseModel(int currentTargetType) override {
    Note("chooser");
    return ScriptedPrompt::ChooseModel(currentTargetType);
  }

  struct Seen {
    std::string what;
    bool engineHeld, panelHeld;
  };
  std::vector<Seen> seen;
  bool throwAtQuestion = false;

 private:
  void Note(const std::string& what) {
    seen.push_back({what, !LockIsFree(platform_, kEngineLock), !LockIsFree(platform_, kPanelLock)});
  }

  Platform& platform_;
};

class StoreJobLockTest : public test::JobFixture {
 protected:
  StoreJobLockTest() {
    job.prompt = &watcher;
    ChooseForJob(kPackage);
    fake.AddFolder(kData);
    state.softwareTestMode = 0;
  }
  ~StoreJobLockTest() override { state.softwareTestMode = 0; }

  // An Engine card as an older store left it, and a newer package.
  void EngineCard() {
    fake.WriteFile(kPackage, BuildPackage(test::EngineRelease("new main")));
    fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(test::EngineRelease("old main")));
    fake.WriteFile("E:\\APP\\MAIN.BIN", "old main");
  }
  void PanelPackage() { fake.WriteFile(kPackage, BuildPackage(test::PanelRelease())); }
  void PanelCard() {
    PanelPackage();
    fake.WriteFile("E:\\NK.BIN", "os");
    fake.WriteFile("E:\\BREVANT\\APP.EXE", "old app");
    fake.WriteFile("E:\\Quorvane File CRCs.dat",
                   BuildCRCList({{"NK.BIN", Crc("os")}, {"BREVANT\\APP.EXE", Crc("old app")}}));
  }
  // Another job's backup, in the folder of a kind of card.
  void EarlierBackup(const std::string& root) {
    fake.WriteFile(root + "\\APP\\MAIN.BIN", "another card's main");
    fake.WriteFile(root + "\\NOTES.TXT", "another card's notes");
  }

  JobResult Run() {
    PrepareStoreJob(job);
    const JobResult code = DownloadAndVerifyJob(state, request);
    return code;
  }

  // True when every box and chooser of the job saw the engine folder's lock held, and the
  // panel folder's free.
  bool EngineLockHeldThroughout() const {
    if (watcher.seen.empty()) return false;
    for (const auto& seen : watcher.seen)
      if (!seen.engineHeld || seen.panelHeld) return false;
    return true;
  }

  WatchingPrompt watcher{fake};
};

TEST_F(StoreJobLockTest, TheLockIsAFileBesideTheBackupFolder) {
  EXPECT_EQ(BackupLockName(kEngineRoot), kEngineLock);
  job.prompt = &prompt;  // the watcher's own probes would count
  EngineCard();
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(fake.CallCount("TryAcquireLock", kEngineLock), 1u);
  EXPECT_EQ(fake.CallCount("TryAcquireLock", kPanelLock), 0u);
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));
}

TEST_F(StoreJobLockTest, SecondJobOnAHeldFolderEndsBeforeTheLoadAndChangesNothing) {
  EngineCard();
  EarlierBackup(kEngineRoot);
  const Tree card = fake.Files("E:");
  const Tree backup = fake.Files(kEngineRoot);
  std::unique_ptr<HeldLock> otherJob = fake.TryAcquireLock(kEngineLock);
  ASSERT_NE(otherJob, nullptr);

  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_EQ(job.jobRunning.load(), 0);
  ASSERT_EQ(watcher.calls().size(), 1u);  // no question, nothing else
  EXPECT_EQ(watcher.calls()[0].text, kBusy);
  EXPECT_EQ(watcher.calls()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(watcher.calls()[0].buttons, MessageButtons::Ok);
  EXPECT_NE(job.diagnosticsText.Get().find(kBusy), std::string::npos);
  EXPECT_TRUE(Logged("  the backup folder " + kEngineRoot + " is in use by another job."));
  EXPECT_TRUE(Logged("  Stage 8..."));
  EXPECT_FALSE(Logged("GetBackupFilesArray"));
  EXPECT_FALSE(Logged("  Stage 9..."));
  EXPECT_EQ(fake.Files("E:"), card);
  EXPECT_EQ(fake.Files(kEngineRoot), backup);
  EXPECT_EQ(fake.CallCount("DeleteFile") + fake.CallCount("CopyFile"), 0u);

  // Once the other job has ended, the same request goes through.
  otherJob.reset();
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(fake.ReadFile(kEngineRoot + "\\APP\\MAIN.BIN"), "old main");
  EXPECT_FALSE(fake.Exists(kEngineRoot + "\\NOTES.TXT"));
}

TEST_F(StoreJobLockTest, RestoreOnlyNeedsTheLockToo) {
  EngineCard();
  EarlierBackup(kEngineRoot);
  const Tree card = fake.Files("E:");
  request.backup.restoreOnly = true;
  request.backup.skip = true;
  std::unique_ptr<HeldLock> otherJob = fake.TryAcquireLock(kEngineLock);
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_TRUE(watcher.Contains(kBusy));
  EXPECT_FALSE(Logged("AttemptRestore"));
  EXPECT_EQ(job.restoreState.load(), kPhaseIdle);
  EXPECT_EQ(fake.Files("E:"), card);

  // Free, the restore runs and holds the lock while it does.
  otherJob.reset();
  state.softwareTestMode = 0;
  request.cardPath = "E: BENCH_MODE_ON";  // its restore shows a box to look through
  watcher.seen.clear();
  EXPECT_EQ(Run().outcome, JobOutcome::kFailed);
  EXPECT_TRUE(Logged("AttemptRestore"));
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "another card's main");
  EXPECT_TRUE(EngineLockHeldThroughout());
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));
}

TEST_F(StoreJobLockTest, HeldFromTheQuestionToTheEndOfASuccessfulJob) {
  EngineCard();
  request.cardPath = "E: BENCH_MODE_ON";  // boxes at stages 10 and 17
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(watcher.seen.size(), 3u);
  EXPECT_TRUE(EngineLockHeldThroughout());
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));
}

TEST_F(StoreJobLockTest, HeldThroughTheRestoreAfterAFailureAndReleasedAfter) {
  EngineCard();
  request.cardPath = "E: BENCH_MODE_ON";
  fake.FailCall("Read", kErrIoDevice, 1, "E:\\APP\\MAIN.BIN");  // verification's first read
  EXPECT_EQ(Run().outcome, JobOutcome::kFailed);
  EXPECT_EQ(job.restoreVerifyState.load(), kPhaseDone);
  ASSERT_TRUE(watcher.Contains("A bad file store has caused a restore."));
  EXPECT_TRUE(EngineLockHeldThroughout());
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));
}

TEST_F(StoreJobLockTest, ReleasedOnEveryOtherExit) {
  EngineCard();
  // Cancel at the question.
  watcher.QueueAnswer(MessageResult::Cancel);
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_TRUE(EngineLockHeldThroughout());
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));

  // A failed backup of an Engine card ends without a restore.
  fake.FailCall("CopyFile", kErrDiskFull, 1);
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_TRUE(watcher.Contains("File Backup Failed. Process aborted.\r\n"));
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));

  // Stopped during the backup: exit 5.
  PrepareStoreJob(job);
  job.stopRequested = 1;
  EXPECT_EQ(DownloadAndVerifyJob(state, request).outcome, JobOutcome::kStopped);
  EXPECT_EQ(job.jobRunning.load(), 0);
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));

  // An error nobody handles.
  watcher.throwAtQuestion = true;
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_NE(job.diagnosticsText.Get().find("the window went away"), std::string::npos);
  EXPECT_TRUE(LockIsFree(fake, kEngineLock));
}

TEST_F(StoreJobLockTest, CardsOfDifferentKindsDoNotWaitForEachOther) {
  std::unique_ptr<HeldLock> panelJob = fake.TryAcquireLock(kPanelLock);
  EngineCard();
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  panelJob.reset();

  fake.DeleteFile("E:\\UPGRADE.FWP");
  fake.DeleteFile("E:\\APP\\MAIN.BIN");
  fake.DeleteFile("E:\\FWPVers.bin");
  fake.DeleteFile("E:\\FWP_INFO_FILE.TXT");
  PanelCard();
  std::unique_ptr<HeldLock> engineJob = fake.TryAcquireLock(kEngineLock);
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(fake.ReadFile(kPanelRoot + "\\BREVANT\\APP.EXE"), "old app");
  EXPECT_TRUE(LockIsFree(fake, kPanelLock));
}

// An unknown card is listed at stage 7 with the engine folder; the panel model chosen at stage
// 8 does not move its backup. The folder locked is the folder used.
// The folder is chosen once the card's kind is final: an unknown card made a Panel by the
// model chooser takes the Panel folder, whoever holds the Engine's.
TEST_F(StoreJobLockTest, UnknownCardMadeAPanelTakesThePanelFolder) {
  PanelPackage();
  fake.WriteFile("E:\\DATA.BIN", "unknown");
  request.target = TargetChoice::kPanel;
  watcher.QueueModelChoice(kTargetPanel3940);
  std::unique_ptr<HeldLock> engineJob = fake.TryAcquireLock(kEngineLock);
  ASSERT_NE(engineJob, nullptr);
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(state.targetType, kTargetPanel3940);
  EXPECT_EQ(state.backupRoot, kPanelRoot);
  EXPECT_EQ(fake.ReadFile(kPanelRoot + "\\DATA.BIN"), "unknown");
  EXPECT_FALSE(fake.Exists(kEngineRoot));
  EXPECT_FALSE(watcher.Contains(kBusy));
}

TEST_F(StoreJobLockTest, UnknownCardMadeAPanelIsRefusedWhileThePanelFolderIsHeld) {
  PanelPackage();
  fake.WriteFile("E:\\DATA.BIN", "unknown");
  request.target = TargetChoice::kPanel;
  watcher.QueueModelChoice(kTargetPanel3940);
  std::unique_ptr<HeldLock> panelJob = fake.TryAcquireLock(kPanelLock);
  EXPECT_EQ(Run().outcome, JobOutcome::kRefused);
  EXPECT_TRUE(watcher.Contains(kBusy));
  EXPECT_EQ(watcher.ChooserCount(), 1u);  // the kind first, then the folder
  EXPECT_FALSE(fake.Exists(kEngineRoot));
  EXPECT_FALSE(fake.Exists(kPanelRoot));
}

TEST_F(StoreJobLockTest, VerifyOnlyNeverAsksForTheLock) {
  EngineCard();
  EXPECT_EQ(Run().outcome, JobOutcome::kPassed);
  std::unique_ptr<HeldLock> engineJob = fake.TryAcquireLock(kEngineLock);
  std::unique_ptr<HeldLock> panelJob = fake.TryAcquireLock(kPanelLock);
  fake.ClearCalls();
  PrepareVerifyJob(job);
  EXPECT_EQ(VerifyOnlyJob(state, test::VerifyRequestOf(request)).outcome, JobOutcome::kPassed);
  EXPECT_EQ(
      fake.CallCount("TryAcquireLock", kEngineLock) + fake.CallCount("AcquireLock", kEngineLock) +
          fake.CallCount("TryAcquireLock", kPanelLock) + fake.CallCount("AcquireLock", kPanelLock),
      0u);
  EXPECT_FALSE(watcher.Contains(kBusy));
}

}  // namespace
}  // namespace cw
