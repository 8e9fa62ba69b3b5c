// End to end: a real signal (Ctrl-C's SIGINT, or SIGTERM) to a real `cardwright` run, sent at a
// moment the test sees: a question waiting on the terminal, or a log line written. To hold the
// job at such a moment the test takes the log's own lock, so the job's next log line waits
// until the test lets it go: the stop is then seen exactly where the test says.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "log/log_to_file.h"
#include "package/package_writer.h"
#include "platform/posix/posix_internal.h"
#include "support/card_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::CardFixture;
using test::CommandResult;
using test::MakeFile;

constexpr int kFiles = 300;

// Files stored as they are, which extraction logs one by one ("    writing E:\\F0.BIN"): each
// log line is a moment between two files.
PackageSpec Release(const std::string& version) {
  PackageSpec spec;
  for (int i = 0; i < kFiles; ++i) {
    spec.files.push_back(MakeFile(kKindCommonRaw, "APP\\F" + std::to_string(i) + ".BIN",
                                  version + " file " + std::to_string(i)));
  }
  return spec;
}

// The log's lock in the runs' private folder, held by the test: every cardwright line waits
// while it is closed.
class LogGate {
 public:
  explicit LogGate(const CardFixture& card)
      : fd_((::mkdir(card.PrivateDir().c_str(), 0700),
             ::open(posix::NamedLockPath(card.PrivateDir(), kLogMutexName).c_str(),
                    O_RDWR | O_CREAT, 0600))) {}
  ~LogGate() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Close() { return fd_ >= 0 && ::flock(fd_, LOCK_EX) == 0; }
  void Open() { ::flock(fd_, LOCK_UN); }

 private:
  int fd_;
};

class InterruptTest : public ::testing::Test {
 protected:
  InterruptTest() {
    card.LayEngineCard(Release("old"));
    card.Put("NOTES.TXT", "a technician's note");
    before = card.Snapshot();
    package = card.WritePackage(Release("new"));
  }
  std::string Log() const { return test::ReadHostFile(card.DataDir() + "/fwp_downloader.log"); }
  bool Logged(const std::string& line) const {
    for (const std::string& logged : card.LogLines())
      if (logged == line) return true;
    return false;
  }
  // Holds the job at its first log line after `line`, then signals it once it is held.
  void HoldAfterAndSignal(test::RunningProgram& run, const std::string& line, int signal) {
    ASSERT_TRUE(run.WaitUntil([&] { return Log().find(line) != std::string::npos; })) << run.err();
    ASSERT_TRUE(gate.Close());
    run.Signal(signal);
    const bool told = run.WaitForError(signal == SIGINT && stops_++ > 0
                                           ? "Stopping the restore."
                                           : "Stopping: ");
    gate.Open();
    ASSERT_TRUE(told) << run.err();
  }
  // Every file the card held before is back as it was.
  void ExpectOldFilesBack() {
    const std::map<std::string, std::string> now = card.Snapshot();
    for (const auto& [path, content] : before) {
      auto it = now.find(path);
      ASSERT_NE(it, now.end()) << path;
      EXPECT_EQ(it->second, content) << path;
    }
  }

  CardFixture card;
  LogGate gate{card};
  std::map<std::string, std::string> before;
  std::string package;
  int stops_ = 0;
};

// Before the card changes: stopped at once, at the question, by either signal.
TEST_F(InterruptTest, AStopAtTheQuestionLeavesTheCardUnchanged) {
  for (int signal : {SIGINT, SIGTERM}) {
    auto run = card.Start({"store", "--card", "E:", "--package", package}, true);
    ASSERT_TRUE(run->WaitForError("OK or Cancel? [o/c] ")) << run->err();
    run->Signal(signal);
    const CommandResult r = run->Finish();
    EXPECT_EQ(r.exitCode, 5) << signal << r.err;
    EXPECT_NE(r.err.find("Stopped: the card was not changed."), std::string::npos) << r.err;
    EXPECT_EQ(card.Snapshot(), before);
    EXPECT_TRUE(Logged("  the job was stopped by request at stage 10, before the card changed."));
    EXPECT_NE(card.Diagnostics().find("Stopped: the card was not changed."), std::string::npos);
  }
}

// Once the card has changed: stopped at the next file, the backup put back and verified.
TEST_F(InterruptTest, AStopAfterTheCardChangedPutsTheBackupBack) {
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes", "--json"});
  HoldAfterAndSignal(*run, "    writing ", SIGINT);
  const CommandResult r = run->Finish();
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("Stopped: the card had changed, so its backup was put back. Restore OK!!"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("\"outcome\": \"stopped\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"stop\": \"restored\""), std::string::npos) << r.out;
  EXPECT_TRUE(Logged("  the job was stopped by request at stage 11, after the card had changed."));
  EXPECT_TRUE(Logged("AttemptRestore"));
  ExpectOldFilesBack();
}

TEST_F(InterruptTest, AStopWithoutABackupSaysTheCardIsHalfWritten) {
  auto run = card.Start(
      {"store", "--card", "E:", "--package", package, "--yes", "--no-backup", "--json"});
  HoldAfterAndSignal(*run, "    writing ", SIGINT);
  const CommandResult r = run->Finish();
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.out.find("\"stop\": \"no_backup\""), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("the card is half-written and there is no backup"), std::string::npos)
      << r.err;
  EXPECT_NE(card.Snapshot(), before);
}

// A second Ctrl-C stops the restore and says how to finish it; that finishes it.
TEST_F(InterruptTest, ASecondCtrlCStopsTheRestoreAndTellsHowToFinishIt) {
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes"});
  HoldAfterAndSignal(*run, "    writing ", SIGINT);
  HoldAfterAndSignal(*run, "AttemptRestore", SIGINT);
  const CommandResult r = run->Finish();
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("Stopped during the restore"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" files had been put back."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("To finish the restore later: cardwright store --card E: --restore-only"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(Logged("  the restore was stopped by request."));

  const CommandResult finish = card.Run({"store", "--card", "E:", "--restore-only"});
  EXPECT_EQ(finish.exitCode, 0) << finish.err;
  ExpectOldFilesBack();
}

// A third Ctrl-C ends the program at once, whatever the job does, and says how to finish.
TEST_F(InterruptTest, AThirdCtrlCEndsTheProgramAtOnce) {
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes"});
  ASSERT_TRUE(run->WaitUntil([&] { return Log().find("    writing ") != std::string::npos; }))
      << run->err();
  ASSERT_TRUE(gate.Close());  // the job stays where it is
  for (const char* told : {"Stopping: ", "Stopping the restore.", "Ending now"}) {
    run->Signal(SIGINT);
    ASSERT_TRUE(run->WaitForError(told)) << run->err();
  }
  const CommandResult r = run->Finish();
  gate.Open();
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("Ending now"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("To finish the restore later: cardwright store --card E: --restore-only"),
            std::string::npos)
      << r.err;
  const CommandResult finish = card.Run({"store", "--card", "E:", "--restore-only"});
  EXPECT_EQ(finish.exitCode, 0) << finish.err;
  ExpectOldFilesBack();
}

TEST_F(InterruptTest, VerifyOnlyStopsWithFive) {
  card.LayEngineCard(Release("new"));
  auto run = card.Start({"verify", "--card", "E:", "--package", package});
  HoldAfterAndSignal(*run, "VerifyOnly", SIGINT);
  const CommandResult r = run->Finish();
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("Stopped: the verification did not finish."), std::string::npos) << r.err;
  EXPECT_TRUE(Logged("  the verification was stopped by request."));
}

// Another run of this user holds the log's lock for long (stopped, or hung): the wait is said
// on the command line, at start-up and in a job, and Ctrl-C ends the run while the lock is
// still held. Before a job Ctrl-C ends the program as it always does; in one, the job stops and
// puts the backup back.
TEST_F(InterruptTest, ALongWaitForTheLogIsSaidAndCtrlCEndsIt) {
  const std::string said = "Waiting for another Cardwright to finish ...\n";
  ASSERT_TRUE(gate.Close());
  auto early = card.Start({"store", "--card", "E:", "--package", package, "--yes"});
  ASSERT_TRUE(early->WaitForError(said)) << early->err();
  early->Signal(SIGINT);
  const CommandResult atStart = early->Finish();
  EXPECT_EQ(atStart.exitCode, 128 + SIGINT) << atStart.err;
  EXPECT_EQ(card.Snapshot(), before);
  gate.Open();

  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes"});
  ASSERT_TRUE(run->WaitUntil([&] { return Log().find("    writing ") != std::string::npos; }));
  ASSERT_TRUE(gate.Close());
  ASSERT_TRUE(run->WaitForError(said)) << run->err();
  run->Signal(SIGINT);
  const CommandResult r = run->Finish();  // the gate stays closed
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("Stopped: the card had changed, so its backup was put back. Restore OK!!"),
            std::string::npos)
      << r.err;
  gate.Open();
  ExpectOldFilesBack();
}

// However a job ends, a transcript that could not be saved is said.
TEST_F(InterruptTest, ATranscriptThatCannotBeSavedIsSaidOnStandardError) {
  card.LayEngineCard(Release("new"));
  std::filesystem::create_directories(card.DataDir() + "/DownloadDiagnostics.txt");
  const CommandResult r = card.Run({"verify", "--card", "E:", "--package", package});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("The transcript could not be saved: "), std::string::npos) << r.err;
}

}  // namespace
}  // namespace cw
