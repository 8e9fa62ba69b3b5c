// The shared test doubles every layer's tests rely on: the in-memory platform and the scripted
// prompt. (They live with the job tests, the first users of both.)

#include <gtest/gtest.h>

#include <thread>

#include "support/fake_platform.h"
#include "support/scripted_prompt.h"

namespace cw {
namespace {

std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
  std::vector<std::string> names;
  for (const FindEntry& e : entries) names.push_back(e.name);
  return names;
}

TEST(FakePlatformTest, DrivesTypesAndSpace) {
  FakePlatform fs;
  fs.AddDrive('e', DriveType::Removable, "FAT", 1000, "CARD");
  EXPECT_EQ(fs.LogicalDriveStrings(), (std::vector<std::string>{"C:\\", "E:\\"}));
  EXPECT_EQ(fs.GetDriveType("E:\\"), DriveType::Removable);
  EXPECT_EQ(fs.GetDriveType("E:\\DATA"), DriveType::NoRootDir);
  EXPECT_EQ(fs.GetDriveType("Q:\\"), DriveType::NoRootDir);
  std::string volume, fileSystem;
  ASSERT_TRUE(fs.GetVolumeInformation("E:\\", &volume, &fileSystem));
  EXPECT_EQ(volume, "CARD");
  EXPECT_EQ(fileSystem, "FAT");
  fs.WriteFile("E:\\A.BIN", std::string(300, 'a'));
  uint64_t total = 0, free = 0;
  ASSERT_TRUE(fs.GetDiskSpace("E:\\", &total, &free));
  EXPECT_EQ(total, 1000u);
  EXPECT_EQ(free, 700u);
}

TEST(FakePlatformTest, FindFilesPatternsOrderAndDots) {
  FakePlatform fs;
  fs.AddDrive('E', DriveType::Removable, "FAT", 1 << 20);
  fs.WriteFile("E:\\ZETA.FWP", "z");
  fs.WriteFile("E:\\alpha.fwp", "a");
  fs.WriteFile("E:\\README", "r");
  fs.AddFolder("E:\\SUB");
  fs.WriteFile("E:\\SUB\\X.TXT", "x");
  std::vector<FindEntry> found;
  ASSERT_TRUE(fs.FindFiles("E:\\*.*", &found));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"ZETA.FWP", "alpha.fwp", "README", "SUB"}));
  EXPECT_TRUE(found[3].IsDirectory());
  ASSERT_TRUE(fs.FindFiles("e:\\*.FWP", &found));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"ZETA.FWP", "alpha.fwp"}));
  ASSERT_TRUE(fs.FindFiles("E:\\SUB\\*.*", &found));
  EXPECT_EQ(Names(found), (std::vector<std::string>{".", "..", "X.TXT"}));
  EXPECT_FALSE(fs.FindFiles("E:\\*.DAT", &found));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_FALSE(fs.FindFiles("E:\\NONE\\*.*", &found));
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  ASSERT_TRUE(fs.FindFiles("E:\\sub\\x.txt", &found));
  EXPECT_EQ(found[0].size, 1u);
}

TEST(FakePlatformTest, FilesKeepStateAndErrorsUseWindowsNumbers) {
  FakePlatform fs;
  auto file = fs.OpenFile("C:\\WORK\\new.txt", OpenMode::CreateNew);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("hello", 5));
  ASSERT_TRUE(file->Seek(0, SeekFrom::Begin));
  char buffer[8] = {};
  uint32_t got = 0;
  ASSERT_TRUE(file->Read(buffer, sizeof(buffer), &got));
  EXPECT_EQ(std::string(buffer, got), "hello");
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(fs.ReadFile("new.txt"), "hello") << "relative to the current folder";
  EXPECT_EQ(fs.OpenFile("C:\\WORK\\NEW.TXT", OpenMode::CreateNew), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileExists);
  EXPECT_EQ(fs.OpenFile("C:\\WORK\\NONE.TXT", OpenMode::Read), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_EQ(fs.OpenFile("C:\\NONE\\A.TXT", OpenMode::OpenAlways), nullptr);
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  EXPECT_FALSE(fs.CreateDirectory("C:\\WORK"));
  EXPECT_EQ(GetLastError(), kErrAlreadyExists);
  ASSERT_TRUE(fs.SetFileAttributes("C:\\WORK\\NEW.TXT", kAttrReadOnly));
  EXPECT_EQ(fs.OpenFile("C:\\WORK\\NEW.TXT", OpenMode::ReadWrite), nullptr);
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_FALSE(fs.DeleteFile("C:\\WORK\\NEW.TXT"));
  ASSERT_TRUE(fs.SetFileAttributes("C:\\WORK\\NEW.TXT", 0));
  EXPECT_EQ(fs.Attributes("C:\\WORK\\NEW.TXT"), kAttrNormal);
  EXPECT_TRUE(fs.DeleteFile("C:\\WORK\\NEW.TXT"));
  EXPECT_EQ(fs.ToHostPath("E:\\A\\b.txt"), "/fake/E/A/b.txt");
}

// A pattern matches a name's long form only: "*.FWP" never takes a renamed "UPGRADE.FWPOLD",
// whatever its 8.3 alias would match on Windows.
TEST(FakePlatformTest, PatternsMatchTheOwnExtensionOnly) {
  FakePlatform fs;
  fs.AddDrive('E', DriveType::Removable, "FAT", 1 << 20);
  for (const char* name : {"UPGRADE.FWPOLD", "UPGRADE.FWP", "OLD.FWP.BAK", "A.B.fwp", "FWP"})
    fs.WriteFile(std::string("E:\\") + name, "x");
  std::vector<FindEntry> found;
  ASSERT_TRUE(fs.FindFiles("E:\\*.FWP", &found));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"UPGRADE.FWP", "A.B.fwp"}));
  ASSERT_TRUE(fs.FindFiles("E:\\UPGRADE.FWP*", &found));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"UPGRADE.FWPOLD", "UPGRADE.FWP"}));
}

// As on Windows (not Wine): a create-always open or a copy does not replace a hidden or system
// file, and a copy does not replace a read-only one; all fail with access denied.
TEST(FakePlatformTest, ProtectedFilesAreNotReplaced) {
  struct Case {
    uint32_t attributes;
    bool createAlwaysOpens, copyReplaces;
  };
  const Case cases[] = {{kAttrArchive, true, true},
                        {kAttrHidden, false, false},
                        {kAttrSystem, false, false},
                        {kAttrHidden | kAttrSystem | kAttrArchive, false, false},
                        {kAttrReadOnly, false, false}};
  for (const Case& c : cases) {
    FakePlatform fs;
    fs.WriteFile("C:\\WORK\\SOURCE.BIN", "new");
    fs.WriteFile("C:\\WORK\\OLD.BIN", "old", c.attributes);
    SetLastError(0);
    const bool opened = fs.OpenFile("C:\\WORK\\OLD.BIN", OpenMode::CreateAlways) != nullptr;
    EXPECT_EQ(opened, c.createAlwaysOpens) << c.attributes;
    if (!opened) {
      EXPECT_EQ(GetLastError(), kErrAccessDenied) << c.attributes;
    }
    fs.WriteFile("C:\\WORK\\OLD.BIN", "old", c.attributes);
    SetLastError(0);
    EXPECT_EQ(fs.CopyFile("C:\\WORK\\SOURCE.BIN", "C:\\WORK\\OLD.BIN", false), c.copyReplaces)
        << c.attributes;
    EXPECT_EQ(fs.ReadFile("C:\\WORK\\OLD.BIN"), c.copyReplaces ? "new" : "old") << c.attributes;
    if (!c.copyReplaces) {
      EXPECT_EQ(GetLastError(), kErrAccessDenied) << c.attributes;
    }
    // Opening an existing protected file without replacing it still works.
    EXPECT_NE(fs.OpenFile("C:\\WORK\\OLD.BIN", OpenMode::Read), nullptr) << c.attributes;
  }
}

TEST(FakePlatformTest, InjectedFailuresHitTheNthMatchingCall) {
  FakePlatform fs;
  fs.FailCall("CreateDirectory", kErrDiskFull, 2);
  EXPECT_TRUE(fs.CreateDirectory("C:\\A"));
  EXPECT_FALSE(fs.CreateDirectory("C:\\B"));
  EXPECT_EQ(GetLastError(), kErrDiskFull);
  EXPECT_TRUE(fs.CreateDirectory("C:\\C"));
  fs.FailAlways("DeleteFile", kErrSharingViolation, "c:\\a\\f.txt");
  fs.WriteFile("C:\\A\\F.TXT", "f");
  fs.WriteFile("C:\\A\\G.TXT", "g");
  EXPECT_FALSE(fs.DeleteFile("C:\\A\\F.TXT"));
  EXPECT_FALSE(fs.DeleteFile("C:\\A\\F.TXT"));
  EXPECT_TRUE(fs.DeleteFile("C:\\A\\G.TXT"));
  EXPECT_EQ(fs.CallCount("DeleteFile", "C:\\A\\f.txt"), 2u);
}

TEST(FakePlatformTest, VolumesDismountUnlessTheyStayMounted) {
  FakePlatform fs;
  fs.AddDrive('E', DriveType::Removable, "FAT", 1 << 20);
  EXPECT_EQ(fs.OpenVolume("\\\\.\\F:"), nullptr);
  auto volume = fs.OpenVolume("\\\\.\\E:");
  ASSERT_NE(volume, nullptr);
  EXPECT_TRUE(fs.IsVolumeMounted(*volume));
  EXPECT_TRUE(fs.DismountVolume(*volume));
  EXPECT_FALSE(fs.IsVolumeMounted(*volume));
  EXPECT_TRUE(fs.CloseVolume(std::move(volume)));
  fs.SetStaysMounted('E', true);
  volume = fs.OpenVolume("\\\\.\\E:");
  EXPECT_TRUE(fs.DismountVolume(*volume));
  EXPECT_TRUE(fs.IsVolumeMounted(*volume));
  EXPECT_EQ(fs.DismountCount('E'), 2);
}

// Windows' path rules: a name's ending dots and blanks are dropped, and nothing is made past
// MAX_PATH (259 characters for a file, 247 for a folder): error 206.
TEST(FakePlatformTest, WindowsPathRulesApply) {
  FakePlatform fs;
  fs.AddDrive('E', DriveType::Removable, "FAT", 1 << 20);
  fs.WriteFile("E:\\NOTES.TXT", "notes");
  EXPECT_EQ(fs.ReadFile("E:\\NOTES.TXT. ."), "notes");
  ASSERT_TRUE(fs.CreateDirectory("E:\\DIR. "));
  EXPECT_EQ(fs.List("E:"), (std::vector<std::string>{"NOTES.TXT", "DIR"}));

  const std::string folder = "E:\\" + std::string(244, 'F');  // 247 characters
  ASSERT_TRUE(fs.CreateDirectory(folder));
  EXPECT_FALSE(fs.CreateDirectory(folder + "G"));
  EXPECT_EQ(GetLastError(), kErrFilenameExcedRange);
  const std::string file = folder + "\\" + std::string(11, 'N');  // 259 characters
  EXPECT_NE(fs.OpenFile(file, OpenMode::CreateNew), nullptr);
  EXPECT_EQ(fs.OpenFile(file + "X", OpenMode::CreateNew), nullptr);
  EXPECT_EQ(GetLastError(), kErrFilenameExcedRange);
  EXPECT_FALSE(fs.CopyFile("E:\\NOTES.TXT", file + "X", false));
  EXPECT_EQ(GetLastError(), kErrFilenameExcedRange);
  EXPECT_FALSE(fs.MoveFile("E:\\NOTES.TXT", file + "X"));
  EXPECT_EQ(GetLastError(), kErrFilenameExcedRange);
  EXPECT_TRUE(fs.Exists("E:\\NOTES.TXT"));
}

TEST(FakePlatformTest, LocksExcludeOtherHolders) {
  FakePlatform fs;
  auto held = fs.AcquireLock("C:\\DATA\\LOG.TXT", kWaitForever);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(fs.TryAcquireLock("c:\\data\\log.txt"), nullptr);
  bool acquired = false;
  std::thread waiter([&] {
    auto lock = fs.AcquireLock("C:\\DATA\\LOG.TXT", kWaitForever);
    acquired = true;
  });
  held.reset();
  waiter.join();
  EXPECT_TRUE(acquired);
  EXPECT_NE(fs.TryAcquireLock("C:\\DATA\\LOG.TXT"), nullptr);
}

TEST(ScriptedPromptTest, AnswersFromScriptThenDefaults) {
  ScriptedPrompt prompt;
  prompt.QueueAnswer(MessageResult::Cancel);
  EXPECT_EQ(prompt.MessageBox("note", MessageButtons::Ok, MessageIcon::None), MessageResult::Ok);
  EXPECT_EQ(prompt.MessageBox("go on?", MessageButtons::OkCancel, MessageIcon::None),
            MessageResult::Cancel);
  EXPECT_EQ(prompt.MessageBox("go on?", MessageButtons::OkCancel, MessageIcon::None),
            MessageResult::Ok);
  prompt.SetDefaultAnswer(MessageResult::Cancel);
  EXPECT_EQ(prompt.MessageBox("again?", MessageButtons::OkCancel, MessageIcon::None),
            MessageResult::Cancel);
  EXPECT_EQ(prompt.Count(), 4u);
  EXPECT_EQ(prompt.Count("go on"), 2u);
  EXPECT_TRUE(prompt.Contains("again"));
  EXPECT_FALSE(prompt.Contains("missing"));

  EXPECT_EQ(prompt.ChooseModel(0), 0) << "closed without OK";
  prompt.QueueModelChoice(3);
  EXPECT_EQ(prompt.ChooseModel(0), 3);
  prompt.SetDefaultModelChoice(2);
  EXPECT_EQ(prompt.ChooseModel(3), 2);
  EXPECT_EQ(prompt.ChooserCount(), 3u);
  EXPECT_EQ(prompt.Count(), 4u) << "chooser calls are no messages";
}

}  // namespace
}  // namespace cw
