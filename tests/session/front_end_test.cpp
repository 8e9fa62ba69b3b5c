#include "session/front_end.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/job_io.h"
#include "record/job_state.h"
#include "job/jobs.h"
#include "package/package_writer.h"
#include "support/fake_platform.h"
#include "support/log_lines.h"
#include "support/scripted_prompt.h"

namespace cw {
namespace {

constexpr const char* kDataPath = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";
constexpr const char* kDataCopy = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE\\LastPathUsed.txt";
constexpr const char* kRootCopy = "C:\\PROG\\LastPathUsed.txt";
constexpr const char* kLocalCopy = "C:\\WORK\\LastPathUsed.txt";

class FrontEndTest : public ::testing::Test {
 protected:
  FrontEndTest() {
    fake.AddFolder("C:\\WORK");
    fake.AddFolder("C:\\PROG");
    job.prompt = &prompt;
  }

  // Starts the run, then moves the program's folder away from the current folder, so the
  // root copy and the local copy of "LastPathUsed.txt" are two different files.
  void Start() {
    folders = StartRun(fake, job, log);
    folders.rootPath = "C:\\PROG";
  }

  std::vector<std::string> LogLines(const std::string& logPath = "") const {
    return LogMessages(
        fake.ReadFile(logPath.empty() ? std::string(kDataPath) + "\\fwp_downloader.log" : logPath));
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : LogLines())
      if (l == line) return true;
    return false;
  }

  FakePlatform fake;
  ScriptedPrompt prompt;
  CLogToFile log{fake};
  JobContext job;
  RunFolders folders;
  // A store of card E: with the package C:\PKG\A.FWP, as a front end asks it.
  StoreRequest request{.cardPath = "E:",
                       .packagePath = "C:\\PKG\\A.FWP",
                       .dataPath = kDataPath,
                       .target = TargetChoice::kNone,
                       .backup = {}};
};

TEST_F(FrontEndTest, StartRunFindsFoldersOpensTheLogAndWritesTheStartupLines) {
  fake.SetDocumentsFolder("C:\\Home\\Tech\\Documents");
  folders = StartRun(fake, job, log);

  EXPECT_EQ(folders.rootPath, "C:\\WORK");
  EXPECT_EQ(folders.dataPath, kDataPath);
  EXPECT_TRUE(fake.IsFolder(kDataPath));
  EXPECT_EQ(job.log, &log);
  EXPECT_TRUE(log.enabled());
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            " ", std::string(51, '-'), " ",
                            "FWP Downloader v 1061 beginning execution.", " ",
                            "Rootpath: C:\\WORK", std::string("Datapath: ") + kDataPath}));
  EXPECT_EQ(prompt.Count(), 0u);
}

TEST_F(FrontEndTest, WithoutADocumentsFolderTheTemporaryFolderIsUsedAsGiven) {
  fake.SetDocumentsFolder("");
  folders = StartRun(fake, job, log);

  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, "The downloader failed it's SHGetFolderPath call.  Bad news.");
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(folders.dataPath, "C:\\TEMP\\");
  // The doubled backslash before the log's name is accepted by the file system.
  EXPECT_EQ(log.logPath(), "C:\\TEMP\\\\fwp_downloader.log");
  EXPECT_TRUE(fake.Exists("C:\\TEMP\\fwp_downloader.log"));
  EXPECT_EQ(LogLines("C:\\TEMP\\fwp_downloader.log").back(), "Datapath: C:\\TEMP\\");
}

TEST_F(FrontEndTest, TheDataCopyOfTheLastPathIsRestored) {
  Start();
  fake.WriteFile(kDataCopy, "D:\\PACKAGES\\NEW.FWP");
  const std::optional<LastPath> last = ResolveLastPath(fake, job, folders);

  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->path, "D:\\PACKAGES\\NEW.FWP");
  EXPECT_TRUE(last->fromFile);
  EXPECT_TRUE(Logged(std::string("Last fwp used: ") + kDataCopy));
  EXPECT_TRUE(Logged("  located."));
}

TEST_F(FrontEndTest, AFirstRunCopiesTheRootCopyIntoTheDataFolder) {
  Start();
  fake.WriteFile(kRootCopy, "C:\\PROG\\SHIPPED.FWP");
  const std::optional<LastPath> last = ResolveLastPath(fake, job, folders);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->path, "C:\\PROG\\SHIPPED.FWP");
  EXPECT_EQ(fake.ReadFile(kDataCopy), "C:\\PROG\\SHIPPED.FWP");
}

TEST_F(FrontEndTest, ANewerRootCopyReplacesTheDataCopy) {
  Start();
  fake.WriteFile(kDataCopy, "OLD.FWP");
  fake.WriteFile(kRootCopy, "NEWER.FWP");  // written later, so newer
  EXPECT_EQ(ResolveLastPath(fake, job, folders)->path, "NEWER.FWP");
  EXPECT_EQ(fake.ReadFile(kDataCopy), "NEWER.FWP");
}

TEST_F(FrontEndTest, AnOlderRootCopyLeavesTheDataCopy) {
  Start();
  fake.WriteFile(kRootCopy, "OLDER.FWP");
  fake.WriteFile(kDataCopy, "MINE.FWP");
  EXPECT_EQ(ResolveLastPath(fake, job, folders)->path, "MINE.FWP");
  EXPECT_EQ(fake.ReadFile(kDataCopy), "MINE.FWP");
}

TEST_F(FrontEndTest, AnEquallyOldRootCopyIsNotCopiedAgain) {
  Start();
  fake.WriteFile(kRootCopy, "SAME.FWP");
  ASSERT_TRUE(fake.CopyFile(kRootCopy, kDataCopy, true));  // keeps the time
  fake.ClearCalls();
  EXPECT_EQ(ResolveLastPath(fake, job, folders)->path, "SAME.FWP");
  EXPECT_EQ(fake.CallCount("DeleteFile"), 0u);
  EXPECT_EQ(fake.CallCount("CopyFile"), 0u);
}

TEST_F(FrontEndTest, OnlyTheFirstLineIsRestoredAndAtMost1023Characters) {
  Start();
  fake.WriteFile(kDataCopy, "E:\\FIRST.FWP\r\nE:\\SECOND.FWP\r\n");
  EXPECT_EQ(ResolveLastPath(fake, job, folders)->path, "E:\\FIRST.FWP");
  fake.WriteFile(kDataCopy, "E:\\LF.FWP\nE:\\SECOND.FWP");
  EXPECT_EQ(ResolveLastPath(fake, job, folders)->path, "E:\\LF.FWP");
  fake.WriteFile(kDataCopy, std::string(2000, 'x'));
  EXPECT_EQ(ResolveLastPath(fake, job, folders)->path, std::string(1023, 'x'));
}

TEST_F(FrontEndTest, AnEmptyDataCopyLeavesTheBoxEmptyWithoutTryingTheOthers) {
  Start();
  fake.WriteFile(kRootCopy, "ROOT.FWP");
  fake.WriteFile(kDataCopy, "");  // newer than the root copy
  fake.WriteFile(kLocalCopy, "LOCAL.FWP");
  fake.WriteFile("C:\\PROG\\UNIT.FWP", "package");
  fake.ClearCalls();

  EXPECT_FALSE(ResolveLastPath(fake, job, folders).has_value());
  EXPECT_TRUE(Logged("  located."));
  EXPECT_FALSE(Logged("  did not locate, using local LastPathUsed.txt"));
  EXPECT_EQ(fake.CallCount("FindFiles", "C:\\PROG\\*.*"), 0u);
}

TEST_F(FrontEndTest, TheLocalCopyIsUsedWhenTheDataFolderHasNone) {
  Start();
  fake.WriteFile(kLocalCopy, "LOCAL.FWP\r\n");
  const std::optional<LastPath> last = ResolveLastPath(fake, job, folders);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->path, "LOCAL.FWP");
  EXPECT_TRUE(last->fromFile);
  EXPECT_TRUE(Logged("  did not locate, using local LastPathUsed.txt"));
}

TEST_F(FrontEndTest, TheSearchTakesTheFirstPackageFileAndSkipsFolders) {
  Start();
  fake.AddFolder("C:\\PROG\\OLD.FWP");
  fake.WriteFile("C:\\PROG\\readme.txt", "text");
  fake.WriteFile("C:\\PROG\\unit.fwp", "package");
  fake.WriteFile("C:\\PROG\\later.fwp", "package");

  const std::optional<LastPath> last = ResolveLastPath(fake, job, folders);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->path, "C:\\PROG\\UNIT.FWP");
  EXPECT_FALSE(last->fromFile);
  EXPECT_TRUE(Logged("  did not locate previous or local last path, searching."));
}

TEST_F(FrontEndTest, TheSearchMatchesFwpAnywhereInThePath) {
  Start();
  fake.WriteFile("C:\\PROG\\A.FWP.BAK", "old package");
  EXPECT_EQ(ResolveLastPath(fake, job, folders)->path, "C:\\PROG\\A.FWP.BAK");
}

TEST_F(FrontEndTest, NoLastPathAndNoPackageLeavesTheBoxEmpty) {
  Start();
  fake.WriteFile("C:\\PROG\\readme.txt", "text");
  EXPECT_FALSE(ResolveLastPath(fake, job, folders).has_value());
}

TEST_F(FrontEndTest, AnEngineCardIsRecognisedByItsStoredCopy) {
  Start();
  fake.AddDrive('E', DriveType::Removable, "FAT", 64 << 20);
  fake.WriteFile("E:\\FWP_3950.FWP", "copy");
  fake.WriteFile("E:\\BOOT.BMP", "image");  // the first test wins

  const std::optional<DetectedCard> card = DetectCardTarget(fake, job, "E:");
  ASSERT_TRUE(card.has_value());
  EXPECT_EQ(card->target, TargetChoice::kEngine);
  EXPECT_EQ(card->status, kEngineCardStatus);
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"OnChangeEditCompactFlash", "  CFpath is E:",
                                      "  this is an engine flash."}));
}

TEST_F(FrontEndTest, APanelCardIsRecognisedByEitherBootImage) {
  Start();
  fake.AddDrive('F', DriveType::Removable, "FAT", 64 << 20);
  fake.WriteFile("F:\\_BOOT.BMP", "image");
  const std::optional<DetectedCard> card = DetectCardTarget(fake, job, "F:");
  ASSERT_TRUE(card.has_value());
  EXPECT_EQ(card->target, TargetChoice::kPanel);
  EXPECT_EQ(card->status, kPanelCardStatus);
  EXPECT_TRUE(Logged("  this is a panel flash."));
}

TEST_F(FrontEndTest, ACardWithoutMarksLeavesTheChoiceAsItWas) {
  Start();
  fake.AddDrive('E', DriveType::Removable, "FAT", 64 << 20);
  fake.WriteFile("E:\\UPGRADE.FWP", "copy");
  fake.AddFolder("E:\\BOOT.BMP");  // a folder is not the boot image
  EXPECT_FALSE(DetectCardTarget(fake, job, "E:").has_value());
  EXPECT_EQ(LogLines().back(), "  CFpath is E:");

  EXPECT_FALSE(DetectCardTarget(fake, job, "").has_value());
}

TEST_F(FrontEndTest, AStoreWithoutACardIsRefusedAndSavesNothing) {
  Start();
  request.cardPath = "";
  EXPECT_FALSE(CheckStoreRequest(fake, job, request));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, "Please choose a valid drive.");
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
            (std::vector<std::string>{"OnDownloadAndVerify", "  no CF drive selected."}));
  EXPECT_FALSE(fake.Exists(kDataCopy));
}

TEST_F(FrontEndTest, APackageNewerThanFormat1009IsRefused) {
  Start();
  fake.WriteFile(request.packagePath, BuildPackage(PackageSpec{.formatRevision = 10}));
  EXPECT_FALSE(CheckStoreRequest(fake, job, request));
  EXPECT_TRUE(Logged(" incompatible issue: fwp version is 1010, max fwp version: 1009"));
  EXPECT_EQ(prompt.messages(), (std::vector<std::string>{
                                   "FWP Downloader and FWP file are incompatible. Please "
                                   "download the latest version of the downloader."}));
  EXPECT_FALSE(fake.Exists(kDataCopy));
}

TEST_F(FrontEndTest, AnAcceptedStoreSavesThePackagePathAlone) {
  Start();
  fake.WriteFile(kDataCopy, "A MUCH LONGER EARLIER PATH.FWP\r\n");
  fake.WriteFile(request.packagePath, BuildPackage(PackageSpec{.formatRevision = 9}));
  EXPECT_TRUE(CheckStoreRequest(fake, job, request));
  EXPECT_EQ(fake.ReadFile(kDataCopy), "C:\\PKG\\A.FWP");
  EXPECT_EQ(LogLines().back(), "  saved C:\\PKG\\A.FWP as the last file path.");
  EXPECT_EQ(prompt.Count(), 0u);
}

TEST_F(FrontEndTest, VerifyNeedsACardPathButWritesNoLogLine) {
  Start();
  const size_t before = LogLines().size();
  VerifyRequest verify{
      .cardPath = "", .packagePath = "", .dataPath = kDataPath, .target = TargetChoice::kNone};
  EXPECT_FALSE(CheckVerifyRequest(fake, job, verify));
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"Please choose a valid drive."});
  EXPECT_EQ(LogLines().size(), before);
  verify.cardPath = "e:\\";
  EXPECT_TRUE(CheckVerifyRequest(fake, job, verify));
}

TEST_F(FrontEndTest, TheDiagnosticsFileHoldsEveryJobOfTheRun) {
  Start();
  const std::string path = std::string(kDataPath) + "\\DownloadDiagnostics.txt";
  fake.WriteFile(path, std::string(5000, '#'));  // an earlier run's, longer

  JobState first(fake, job);
  RunWorker(first, [&first, this] {
    GetUpgradeInfo(first, kTargetUnknown, {}, request.packagePath);
    first.AppendDiagnostics("first job\r\n");
    return 0;
  });
  StoreDiagnostics(fake, job, folders.dataPath);
  const std::string afterFirst = fake.ReadFile(path);
  EXPECT_EQ(afterFirst, job.diagnosticsText.Get());

  JobState second(fake, job);
  RunWorker(second, [&second, this] {
    GetUpgradeInfo(second, kTargetUnknown, {}, request.packagePath);
    return 0;
  });
  StoreDiagnostics(fake, job, folders.dataPath);
  const std::string both = fake.ReadFile(path);
  EXPECT_EQ(both.substr(0, afterFirst.size()), afterFirst);
  EXPECT_EQ(both.size(), afterFirst.size() + second.upgradeInfoText.size());
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"StoreDiagnostics", path, "  saved."}));
}

TEST_F(FrontEndTest, AnUnwritableDiagnosticsFileIsReported) {
  Start();
  const std::string path = std::string(kDataPath) + "\\DownloadDiagnostics.txt";
  fake.FailCall("OpenFile", kErrAccessDenied, 1, path);
  EXPECT_FALSE(StoreDiagnostics(fake, job, folders.dataPath));
  EXPECT_EQ(LogLines().back(), "  failed to open.");
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"Could not open file for logging."});

  // A write or a close that fails (a full disk) is not a saved transcript either.
  job.diagnosticsText.Append("the run");
  for (const char* op : {"Write", "Close"}) {
    fake.FailCall(op, kErrDiskFull, 1, path);
    EXPECT_FALSE(StoreDiagnostics(fake, job, folders.dataPath)) << op;
    EXPECT_EQ(LogLines().back(), "  could not be saved.") << op;
  }
  EXPECT_TRUE(StoreDiagnostics(fake, job, folders.dataPath));
  EXPECT_EQ(LogLines().back(), "  saved.");
  EXPECT_EQ(fake.ReadFile(path), job.diagnosticsText.Get());
}

TEST_F(FrontEndTest, AHostFolderOfAMappedDriveBecomesItsLetter) {
  fake.AddDrive('E', DriveType::Removable, "FAT", 64 << 20);
  const std::string host = fake.DriveHostPath("E:\\");
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(CardPathOfHostFolder(fake, host), "E:");
  EXPECT_EQ(CardPathOfHostFolder(fake, host + "/"), "E:");
  EXPECT_EQ(CardPathOfHostFolder(fake, host + "/SUB"), host + "/SUB");
  EXPECT_EQ(CardPathOfHostFolder(fake, "E:"), "E:");
  // Drive C: is the host's own disk, never a card.
  EXPECT_EQ(CardPathOfHostFolder(fake, fake.DriveHostPath("C:\\")), fake.DriveHostPath("C:\\"));
}

}  // namespace
}  // namespace cw
