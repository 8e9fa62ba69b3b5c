#include "backup/backup.h"
#include "backup/backup_history.h"
#include "backup/backup_manifest.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "backup/backup_folder.h"
#include "support/job_fixture.h"
#include "record/job_io.h"

namespace cw {
namespace {

const std::string kData = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";
const std::string kEngineRoot = kData + "\\QUORVANE_ENGINE_CF_BACKUP";
const std::string kPanelRoot = kData + "\\QUORVANE_PANEL_CF_BACKUP";

class BackupTest : public test::JobFixture {
 protected:
  CardFacts card;
  LoadedPackage package;

 protected:
  BackupTest() {
    fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
    fake.AddFolder("C:\\HOME\\TECH\\DOCUMENTS");
  }
  // Puts a file on the card and into cardFileList.
  void CardFile(const std::string& path, const std::string& content,
                uint32_t attributes = kAttrArchive) {
    fake.WriteFile(path, content, attributes);
    state.cardFileList.push_back(path);
  }
  void Engine() {
    state.targetType = kTargetEngine;
    state.backupRoot = kEngineRoot;
  }
  void Panel() {
    state.targetType = kTargetPanel3940;
    state.backupRoot = kPanelRoot;
    card.osOnCard = 1;
  }
  std::vector<std::string> LinesStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : LogLines())
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
  }
};

TEST_F(BackupTest, CreatesMissingFoldersFromTheTopAndMirrorsTheCard) {
  Engine();
  CardFile("E:\\UPGRADE.FWP", "package");
  CardFile("E:\\BREVANT\\DATA\\A.DAT", "a");

  ASSERT_TRUE(BackupFiles(state, card, package, false));

  EXPECT_EQ(LinesStartingWith("  trying to create "),
            (std::vector<std::string>{
                "  trying to create C:\\HOME\\TECH\\DOCUMENTS\\BREVANT",
                "  trying to create " + kData,
                "  trying to create " + kEngineRoot,
                "  trying to create " + kEngineRoot + "\\BREVANT",
                "  trying to create " + kEngineRoot + "\\BREVANT\\DATA",
            }));
  EXPECT_EQ(fake.ReadFile(kEngineRoot + "\\UPGRADE.FWP"), "package");
  EXPECT_EQ(fake.ReadFile(kEngineRoot + "\\BREVANT\\DATA\\A.DAT"), "a");
  EXPECT_EQ(state.backupFileList,
            (FileList{kEngineRoot + "\\UPGRADE.FWP", kEngineRoot + "\\BREVANT\\DATA\\A.DAT"}));
  EXPECT_TRUE(Logged("  trying to backup " + kEngineRoot + "\\BREVANT\\DATA\\A.DAT" +
                     ", beginning parsing."));
  EXPECT_EQ(LogLines().front(), "BackupFiles");
  EXPECT_TRUE(fake.Exists(BackupManifestName(kEngineRoot)));
  EXPECT_EQ(job.statusText.Get(), "2 Files backed up");
  EXPECT_EQ(job.diagnosticsText.Get().rfind("Backing up current files"), 0u);
  EXPECT_FALSE(BackupMarkedIncomplete(fake, kEngineRoot));
  EXPECT_FALSE(fake.Exists(BackupMarkName(kEngineRoot)));
}

TEST_F(BackupTest, CountsInTheStatusAndWrapsTheProgressAtOneHundred) {
  Engine();
  for (int i = 0; i < 120; ++i) CardFile(Format("E:\\F%03d.DAT", i), Format("%d", i));
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_EQ(job.statusText.Get(), "120 Files backed up");
  EXPECT_EQ(job.progressPos.load(), 19);
  EXPECT_EQ(job.progressMax.load(), 100);
  EXPECT_EQ(state.backupFileList.size(), 120u);
  EXPECT_EQ(fake.ReadFile(kEngineRoot + "\\F119.DAT"), "119");
}

TEST_F(BackupTest, ReadOnlyCardFileIsMadeWritableBeforeItIsCopied) {
  Engine();
  CardFile("E:\\LOCKED.DAT", "locked", kAttrReadOnly | kAttrHidden);
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_EQ(fake.Attributes("E:\\LOCKED.DAT"), kAttrArchive);
  EXPECT_EQ(fake.ReadFile(kEngineRoot + "\\LOCKED.DAT"), "locked");

  std::vector<std::string> order;
  for (const FakeCall& call : fake.Calls())
    if (call.op == "SetFileAttributes" || call.op == "CopyFile") order.push_back(call.op);
  EXPECT_EQ(order, (std::vector<std::string>{"SetFileAttributes", "CopyFile"}));
}

TEST_F(BackupTest, EngineCardIsBackedUpButNotErased) {
  Engine();
  CardFile("E:\\BREVANT\\APP.EXE", "app");
  ASSERT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_TRUE(fake.Exists("E:\\BREVANT\\APP.EXE"));
  EXPECT_EQ(LogLines().back(), "  elected not to erase the flash.");
  EXPECT_TRUE(Logged("  backup complete."));
}

TEST_F(BackupTest, PanelCardIsErasedAfterACompleteBackup) {
  Panel();
  CardFile("E:\\NK.BIN", "os");
  CardFile("E:\\BREVANT\\APP.EXE", "app");
  CardFile("E:\\BREVANT\\BPANEL.INI", "settings");
  ASSERT_TRUE(BackupFiles(state, card, package, true));
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\APP.EXE"));
  EXPECT_TRUE(fake.Exists("E:\\BREVANT\\BPANEL.INI"));
  EXPECT_TRUE(fake.Exists("E:\\NK.BIN"));
  EXPECT_EQ(fake.ReadFile(kPanelRoot + "\\BREVANT\\APP.EXE"), "app");
  EXPECT_TRUE(Logged("  erasing the flash."));
  EXPECT_TRUE(Logged("CleanCF"));
}

// Mended: the refusal came after the old backup was emptied, destroying the last good backup
// in a job that changed nothing.
TEST_F(BackupTest, PanelWithoutAnyOperatingSystemIsRefusedBeforeTheOldBackupIsTouched) {
  Panel();
  card.osOnCard = 0;
  package.osInPackage = 0;
  fake.WriteFile(kPanelRoot + "\\OLD.DAT", "old");
  state.backupFileList = {kPanelRoot + "\\OLD.DAT"};
  CardFile("E:\\BREVANT\\APP.EXE", "app");
  fake.ClearCalls();

  EXPECT_FALSE(BackupFiles(state, card, package, true));
  EXPECT_EQ(prompt.messages(),
            (std::vector<std::string>{
                "WinCE OS was neither found on the compact flash nor in the FWP file.\r\n"
                "Please choose a FWP file that contains the WinCE OS."}));
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(fake.ReadFile(kPanelRoot + "\\OLD.DAT"), "old");
  EXPECT_EQ(state.backupFileList, FileList{kPanelRoot + "\\OLD.DAT"});
  EXPECT_FALSE(fake.Exists(BackupMarkName(kPanelRoot)));
  for (const char* op : {"DeleteFile", "CopyFile", "CreateDirectory", "FlushFiles"})
    EXPECT_EQ(fake.CallCount(op), 0u) << op;
  EXPECT_TRUE(fake.Exists("E:\\BREVANT\\APP.EXE"));

  // Either image is enough.
  package.osInPackage = 1;
  EXPECT_TRUE(BackupFiles(state, card, package, false));
}

TEST_F(BackupTest, FailedCopyStopsTheBackupAndLeavesTheCardUntouched) {
  Panel();
  CardFile("E:\\BREVANT\\A.EXE", "a");
  CardFile("E:\\BREVANT\\B.EXE", "b");
  CardFile("E:\\BREVANT\\C.EXE", "c");
  fake.FailCall("CopyFile", kErrDiskFull, 2);

  EXPECT_FALSE(BackupFiles(state, card, package, true));
  const std::string error = "\r\nCopy File Error - 112 - " + kPanelRoot + "\\BREVANT\\B.EXE\r\n";
  EXPECT_NE(job.diagnosticsText.Get().find(error), std::string::npos);
  EXPECT_NE(fake.ReadFile(test::kLogPath).find("Copy File Error - 112 - " + kPanelRoot), std::string::npos);
  EXPECT_EQ(prompt.Count(), 0u);
  EXPECT_EQ(state.backupFileList, FileList{kPanelRoot + "\\BREVANT\\A.EXE"});
  for (const char* path : {"E:\\BREVANT\\A.EXE", "E:\\BREVANT\\B.EXE", "E:\\BREVANT\\C.EXE"})
    EXPECT_TRUE(fake.Exists(path)) << path;
  EXPECT_FALSE(Logged("CleanCF"));
  EXPECT_TRUE(BackupMarkedIncomplete(fake, kPanelRoot));
}

TEST_F(BackupTest, FolderThatCannotBeCreatedIsLoggedAndTheCopyReportsTheFailure) {
  Engine();
  fake.AddFolder(kData);
  CardFile("E:\\DATA\\A.DAT", "a");
  fake.FailCall("CreateDirectory", kErrAccessDenied);
  EXPECT_FALSE(BackupFiles(state, card, package, false));
  EXPECT_TRUE(Logged("  trying to create " + kEngineRoot + "\\DATA"));
  EXPECT_TRUE(Logged("  create directory failed with status of 5"));
  EXPECT_NE(job.diagnosticsText.Get().find("\r\nCopy File Error - 3 - " + kEngineRoot +
                                           "\\DATA\\A.DAT\r\n"),
            std::string::npos);
}

// The mark goes on disk before the old backup moves into the history and comes off only after
// the copies and their manifest are flushed; the mark's removal is flushed too, before the
// card's first change.
TEST_F(BackupTest, MarkedWhileMadeAndFlushedBeforeTheCardChanges) {
  Panel();
  fake.WriteFile(kPanelRoot + "\\OLD.DAT", "old");
  state.backupFileList = {kPanelRoot + "\\OLD.DAT"};
  CardFile("E:\\NK.BIN", "os");
  CardFile("E:\\BREVANT\\APP.EXE", "app");
  const std::string mark = BackupMarkName(kPanelRoot);
  fake.ClearCalls();
  ASSERT_TRUE(BackupFiles(state, card, package, true));

  std::vector<std::string> order;
  for (const FakeCall& call : fake.Calls()) {
    const std::string what = call.op + " " + call.path;
    if (call.op == "OpenFile" && call.path == mark) order.push_back("mark");
    if (call.op == "MoveFile" && call.path == kPanelRoot) order.push_back("move");
    if (call.op == "CopyFile" && order.back() != "copy") order.push_back("copy");
    if (call.op == "FlushFiles") order.push_back("flush");
    // (the old manifest is read first, to name the history's entry)
    if (call.op == "OpenFile" && call.path == BackupManifestName(kPanelRoot) &&
        order.back() == "flush")
      order.push_back("manifest");
    if (call.op == "DeleteFile" && call.path == mark) order.push_back("unmark");
    if (call.op == "DeleteFile" && call.path.starts_with("E:")) order.push_back("erase");
  }
  EXPECT_EQ(order, (std::vector<std::string>{"mark", "move", "copy", "flush", "manifest",
                                             "unmark", "flush", "erase"}));
  EXPECT_EQ(fake.CallCount("FlushFiles", kData), 2u);
  EXPECT_FALSE(fake.Exists(mark));
  EXPECT_FALSE(fake.Exists(kPanelRoot + "\\OLD.DAT"));
  EXPECT_EQ(ListBackups(fake, kPanelRoot, false).size(), 2u);  // the old one whole in the history
}

// Any step of the mark or the flush that fails ends the backup before the card changes; the
// mark stays unless it never got on disk, and then the old backup is untouched.
TEST_F(BackupTest, FailedMarkOrFlushEndsTheBackupBeforeTheCardChanges) {
  const std::string mark = BackupMarkName(kPanelRoot);
  struct Case {
    const char* op;
    std::string path;
    const char* line;
    bool oldBackupKept;
  } cases[] = {
      {"OpenFile", mark, "Backup Mark Error - 5 - ", true},
      {"Flush", mark, "Backup Mark Error - 5 - ", true},
      {"FlushFiles", "", "Backup Flush Error - 5 - ", false},
      {"DeleteFile", mark, "Backup Mark Error - 5 - ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op));
    fake.ClearFailures();
    fake.DeleteFile(mark);
    fake.WriteFile(kPanelRoot + "\\OLD.DAT", "old");
    Panel();
    state.backupFileList = {kPanelRoot + "\\OLD.DAT"};
    state.cardFileList.clear();
    CardFile("E:\\BREVANT\\APP.EXE", "app");
    job.diagnosticsText.Set("");
    fake.FailCall(c.op, kErrAccessDenied, 1, c.path);

    EXPECT_FALSE(BackupFiles(state, card, package, true));
    EXPECT_NE(job.diagnosticsText.Get().find(c.line), std::string::npos)
        << job.diagnosticsText.Get();
    EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "app");
    EXPECT_EQ(fake.Exists(kPanelRoot + "\\OLD.DAT"), c.oldBackupKept);
    EXPECT_EQ(BackupMarkedIncomplete(fake, kPanelRoot), !c.oldBackupKept);
  }
  EXPECT_FALSE(Logged("CleanCF"));
}

TEST_F(BackupTest, StopRequestEndsTheJobAfterTheCurrentFile) {
  Engine();
  CardFile("E:\\A.DAT", "a");
  CardFile("E:\\B.DAT", "b");
  job.stopRequested = 1;
  EXPECT_THROW(BackupFiles(state, card, package, false), JobStopped);
  EXPECT_EQ(job.jobRunning.load(), 1);  // the worker entry ends the job
  EXPECT_EQ(state.backupFileList.size(), 1u);
  EXPECT_FALSE(fake.Exists(kEngineRoot + "\\B.DAT"));
}

TEST_F(BackupTest, EmptyCardEmptiesTheBackupFolder) {
  Engine();
  fake.WriteFile(kEngineRoot + "\\OLD.DAT", "old");
  state.backupFileList = {kEngineRoot + "\\OLD.DAT"};
  EXPECT_TRUE(BackupFiles(state, card, package, false));
  EXPECT_FALSE(fake.Exists(kEngineRoot + "\\OLD.DAT"));
  EXPECT_TRUE(state.backupFileList.empty());
  EXPECT_EQ(job.progressMax.load(), 100);
}

}  // namespace
}  // namespace cw
