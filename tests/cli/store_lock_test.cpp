// End to end: two `cardwright store` processes on cards of one kind, with one data folder. The
// first is held at its OK/Cancel question on a terminal of its own (a pseudo-terminal the test
// answers), so it certainly holds its backup folder while the second runs.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "support/crc.h"
#include "support/package_builder.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "rules/bhelper.h"

extern char** environ;

namespace cw {
namespace {

using test::Crc;
using test::EngineRelease;

namespace fs = std::filesystem;
using test::CommandResult;
using test::EnvironmentAdditions;
using test::HostFiles;
using test::ReadHostFile;
using test::TempDir;
using test::WriteHostFile;
using Tree = std::map<std::string, std::string>;

// As the terminal shows it, and as the transcript keeps it.
const char kBusy[] =
    "Another job is using the backup folder.\nWait for it to finish, then try again.\n";
const char kBusyText[] =
    "Another job is using the backup folder.\r\nWait for it to finish, then try again.\r\n";
const char kAsk[] = "OK or Cancel? [o/c] ";

// cardwright on a terminal of its own: the test reads what it shows and types its answers.
class TerminalRun {
 public:
  TerminalRun(const std::vector<std::string>& args, const EnvironmentAdditions& env) {
    std::vector<std::string> argv{CARDWRIGHT_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      bool replaced = false;
      for (const auto& [key, value] : env) replaced = replaced || text.rfind(key + "=", 0) == 0;
      if (!replaced) envp.push_back(text);
    }
    for (const auto& [key, value] : env) envp.push_back(key + "=" + value);
    std::vector<char*> argp, envpp;
    for (std::string& a : argv) argp.push_back(a.data());
    for (std::string& e : envp) envpp.push_back(e.data());
    argp.push_back(nullptr);
    envpp.push_back(nullptr);
    pid_ = ::forkpty(&fd_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      ::execve(argp[0], argp.data(), envpp.data());
      ::_exit(127);
    }
  }
  ~TerminalRun() {
    if (pid_ > 0) Kill();
    if (fd_ >= 0) ::close(fd_);
  }
  bool Started() const { return pid_ > 0; }

  // Reads the terminal until `text` shows; false when the program ended (or a minute passed).
  bool WaitFor(const std::string& text) {
    while (shown_.find(text) == std::string::npos)
      if (!ReadSome()) return false;
    return true;
  }
  void Type(const std::string& line) {
    const std::string typed = line + "\n";
    ASSERT_EQ(::write(fd_, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  }
  // Everything the program still shows, then its exit code.
  int Finish() {
    while (ReadSome()) {
    }
    return Reap();
  }
  // As a crash or `kill -9` ends it.
  int Kill() {
    ::kill(pid_, SIGKILL);
    return Reap();
  }
  const std::string& shown() const { return shown_; }

 private:
  bool ReadSome() {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0) return errno == EINTR;
    if (ready == 0) return false;
    char buffer[4096];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got > 0) shown_.append(buffer, static_cast<size_t>(got));
    return got > 0 || (got < 0 && errno == EINTR);  // EIO: the terminal's program ended
  }
  int Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  std::string shown_;
  // Only a fence against a program that hangs; nothing waits for it.
  const std::chrono::steady_clock::time_point deadline_ =
      std::chrono::steady_clock::now() + std::chrono::seconds(60);
};

class StoreLockTest : public ::testing::Test {
 protected:
  std::string DataFolder() const { return home.Sub("Documents/BREVANT/QUORVANE"); }
  std::string EngineBackup() const { return DataFolder() + "/QUORVANE_ENGINE_CF_BACKUP"; }
  std::string PanelBackup() const { return DataFolder() + "/QUORVANE_PANEL_CF_BACKUP"; }

  EnvironmentAdditions Environment() const {
    return {{"HOME", home.path()},
            {"XDG_CONFIG_HOME", home.Sub(".config")},
            {"CARDWRIGHT_DRIVES", ""}};
  }
  static std::string Drive(const TempDir& card) {
    return "E:=" + card.path() + ",removable,fs=FAT16,bytes=67108864";
  }
  // `store --card E:` with E: mapped to `card`'s folder.
  std::vector<std::string> StoreArgs(const TempDir& card, const std::string& package,
                                     std::vector<std::string> extra = {}) const {
    std::vector<std::string> args{"--drive", Drive(card), "store", "--card", "E:", "--package",
                                  package};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  CommandResult Store(const TempDir& card, const std::string& package,
                      std::vector<std::string> extra = {"--yes"}) const {
    return test::RunCardwright(StoreArgs(card, package, extra), Environment());
  }
  // The first job, held at its question with its backup folder locked.
  std::unique_ptr<TerminalRun> HeldStore(const TempDir& card, const std::string& package) {
    auto run = std::make_unique<TerminalRun>(StoreArgs(card, package), Environment());
    EXPECT_TRUE(run->Started());
    EXPECT_TRUE(run->WaitFor(kAsk)) << run->shown();
    return run;
  }

  static void OldEngineCard(const TempDir& card, const std::string& tag) {
    card.Write("UPGRADE.FWP", BuildPackage(EngineRelease("old main " + tag, "u")));
    card.Write("APP/MAIN.BIN", "old main " + tag);
    card.Write("APP/LIB/UTIL.DLL", "u");
    card.Write("NOTES.TXT", "notes of card " + tag);
  }
  static void OldPanelCard(const TempDir& card) {
    card.Write("NK.BIN", "old os");
    card.Write("BREVANT/APP.EXE", "old app");
    card.Write("BREVANT/BPANEL.INI", "settings");
    card.Write("Quorvane File CRCs.dat",
               BuildCRCList({{"NK.BIN", Crc("old os")}, {"BREVANT\\APP.EXE", Crc("old app")}}));
  }
  // What a backup of a card holds: its files under their upper-cased names.
  static Tree AsBackup(const Tree& card) {
    Tree backup;
    for (const auto& [path, content] : card) {
      std::string upper = path;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      backup[upper] = content;
    }
    return backup;
  }

  TempDir home, first, second, work;
};

TEST_F(StoreLockTest, SecondStoreOfTheSameKindIsRefusedAndTheFirstKeepsItsBackup) {
  OldEngineCard(first, "1");
  OldEngineCard(second, "2");
  const std::string package = work.Write("NEW.FWP", BuildPackage(EngineRelease("new main", "u")));
  // The backup an earlier job left.
  WriteHostFile(EngineBackup() + "/APP/MAIN.BIN", "old main 0");
  const Tree firstCard = HostFiles(first.path());
  const Tree secondCard = HostFiles(second.path());
  const Tree earlierBackup = HostFiles(EngineBackup());

  std::unique_ptr<TerminalRun> held = HeldStore(first, package);
  EXPECT_TRUE(fs::exists(DataFolder() + "/QUORVANE_ENGINE_CF_BACKUP.lock"));

  const CommandResult refused = Store(second, package);
  EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
  EXPECT_NE(refused.err.find(kBusy), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find("All files will be replaced"), std::string::npos);
  EXPECT_EQ(HostFiles(second.path()), secondCard);
  EXPECT_EQ(HostFiles(EngineBackup()), earlierBackup);
  EXPECT_NE(ReadHostFile(DataFolder() + "/DownloadDiagnostics.txt").find(kBusyText),
            std::string::npos);

  // "Restore Only" reads and restores the backup: refused just the same.
  const CommandResult restore = Store(second, package, {"--restore-only"});
  EXPECT_EQ(restore.exitCode, 1) << restore.out << restore.err;
  EXPECT_NE(restore.err.find(kBusy), std::string::npos) << restore.err;
  EXPECT_EQ(restore.err.find("Nothing was restored"), std::string::npos) << restore.err;
  EXPECT_EQ(HostFiles(second.path()), secondCard);
  EXPECT_EQ(HostFiles(EngineBackup()), earlierBackup);

  held->Type("o");
  EXPECT_EQ(held->Finish(), 0) << held->shown();
  EXPECT_EQ(first.Read("APP/MAIN.BIN"), "new main");
  EXPECT_EQ(HostFiles(EngineBackup()), AsBackup(firstCard));
  EXPECT_NE(
      ReadHostFile(DataFolder() + "/fwp_downloader.log").find(" is in use by another job.\r\n"),
      std::string::npos);

  // The lock went with the first job; cleaning the backup left the lock file where it was.
  EXPECT_TRUE(fs::exists(DataFolder() + "/QUORVANE_ENGINE_CF_BACKUP.lock"));
  const CommandResult next = Store(second, package);
  EXPECT_EQ(next.exitCode, 0) << next.out << next.err;
  EXPECT_EQ(HostFiles(EngineBackup()), AsBackup(secondCard));
}

TEST_F(StoreLockTest, EngineAndPanelCardsAreStoredSideBySide) {
  OldEngineCard(first, "1");
  OldPanelCard(second);
  const Tree panelCard = HostFiles(second.path());
  const std::string enginePackage =
      work.Write("ENGINE.FWP", BuildPackage(EngineRelease("new main", "u")));
  const std::string panelPackage = work.Write("PANEL.FWP", BuildPackage(test::PanelRelease()));

  std::unique_ptr<TerminalRun> held = HeldStore(first, enginePackage);
  const CommandResult panel = Store(second, panelPackage);
  EXPECT_EQ(panel.exitCode, 0) << panel.out << panel.err;
  EXPECT_EQ(second.Read("BREVANT/APP.EXE"), "new app");
  EXPECT_EQ(HostFiles(PanelBackup()), AsBackup(panelCard));

  held->Type("o");
  EXPECT_EQ(held->Finish(), 0) << held->shown();
  EXPECT_EQ(first.Read("APP/MAIN.BIN"), "new main");
  EXPECT_EQ(ReadHostFile(EngineBackup() + "/APP/MAIN.BIN"), "old main 1");
}

TEST_F(StoreLockTest, VerifyOnlyRunsWhileAStoreHoldsTheFolder) {
  OldEngineCard(first, "1");
  OldEngineCard(second, "2");
  const std::string package = work.Write("NEW.FWP", BuildPackage(EngineRelease("new main", "u")));
  ASSERT_EQ(Store(second, package).exitCode, 0);  // a card as a store leaves it

  std::unique_ptr<TerminalRun> held = HeldStore(first, package);
  const CommandResult verify =
      test::RunCardwright({"--drive", Drive(second), "verify", "--card", "E:", "--package", package},
                          Environment());
  EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
  EXPECT_EQ(verify.err.find(kBusy), std::string::npos);
  held->Type("c");
  EXPECT_EQ(held->Finish(), 1) << held->shown();  // cancelled: nothing stored
  EXPECT_EQ(first.Read("APP/MAIN.BIN"), "old main 1");
}

TEST_F(StoreLockTest, ALockLeftByAKilledStoreDoesNotBlockTheNext) {
  OldEngineCard(first, "1");
  OldEngineCard(second, "2");
  const Tree firstCard = HostFiles(first.path());
  const std::string package = work.Write("NEW.FWP", BuildPackage(EngineRelease("new main", "u")));

  std::unique_ptr<TerminalRun> held = HeldStore(first, package);
  // Proof that it holds the folder at this moment, then its death.
  const CommandResult whileHeld = Store(second, package);
  EXPECT_EQ(whileHeld.exitCode, 1);
  EXPECT_NE(whileHeld.err.find(kBusy), std::string::npos) << whileHeld.err;
  EXPECT_EQ(held->Kill(), 128 + SIGKILL);
  EXPECT_EQ(HostFiles(first.path()), firstCard);

  const CommandResult next = Store(second, package);
  EXPECT_EQ(next.exitCode, 0) << next.out << next.err;
  EXPECT_EQ(second.Read("APP/MAIN.BIN"), "new main");
  EXPECT_EQ(ReadHostFile(EngineBackup() + "/APP/MAIN.BIN"), "old main 2");
}

}  // namespace
}  // namespace cw
