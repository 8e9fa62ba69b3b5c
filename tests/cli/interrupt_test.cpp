// End to end: a real signal (Ctrl-C's SIGINT, or SIGTERM) to a real `cardwright` run, sent at a
// moment the test sees: a question waiting on the terminal, or just after a chosen log line.
// To hold the job there the run is started with a small library preloaded
// (preload/hold_log_line.cpp) that stops it as it reaches for its next log line, armed before
// the run starts: the stop then lands exactly where the test says, on any machine.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

// The log's lock in the runs' private folder, taken by the test as another run of this user
// would take it: every cardwright line waits while it is closed.
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
  // Holds each later run just after it logs the `occurrence`-th line holding `text` (before its
  // next line), one hold after the other.
  void HoldAt(const std::vector<std::pair<int, std::string>>& lines) {
    std::string at;
    for (const auto& [occurrence, text] : lines) at += std::to_string(occurrence) + "|" + text + "\n";
    const char* asan = std::getenv("ASAN_OPTIONS");
    card.environment = {
        {"LD_PRELOAD", HOLD_LOG_LINE_LIB},
        {"CW_HOLD_AT", at},
        {"CW_HOLD_DIR", card.PrivateDir()},
        {"CW_HOLD_LOCK", posix::NamedLockPath(card.PrivateDir(), kLogMutexName)},
        // A sanitized build wants its runtime first; the hold library comes before it.
        {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
  }
  bool Held(test::RunningProgram& run, int hold) {
    const std::string held = card.PrivateDir() + "/held-" + std::to_string(hold);
    return run.WaitUntil([&] { return std::filesystem::exists(held); });
  }
  void LetGo(int hold) {
    std::ofstream(card.PrivateDir() + "/go-" + std::to_string(hold)).put('\n');
  }
  // Waits until the run is held at its `hold`-th line, signals it, waits for its answer and lets
  // it go on.
  void SignalWhenHeld(test::RunningProgram& run, int hold, int signal) {
    ASSERT_TRUE(Held(run, hold)) << run.err();
    run.Signal(signal);
    const bool told = run.WaitForError(signal == SIGINT && stops_++ > 0
                                           ? "Stopping the restore."
                                           : "Stopping: ");
    LetGo(hold);
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
  HoldAt({{1, "    writing "}});
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes", "--json"});
  SignalWhenHeld(*run, 1, SIGINT);
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
  HoldAt({{1, "    writing "}});
  auto run = card.Start(
      {"store", "--card", "E:", "--package", package, "--yes", "--no-backup", "--json"});
  SignalWhenHeld(*run, 1, SIGINT);
  const CommandResult r = run->Finish();
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.out.find("\"stop\": \"no_backup\""), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("the card is half-written and there is no backup"), std::string::npos)
      << r.err;
  EXPECT_NE(card.Snapshot(), before);
}

// A second Ctrl-C stops the restore and says how to finish it; that finishes it.
TEST_F(InterruptTest, ASecondCtrlCStopsTheRestoreAndTellsHowToFinishIt) {
  HoldAt({{1, "    writing "}, {1, "AttemptRestore"}});
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes"});
  SignalWhenHeld(*run, 1, SIGINT);
  SignalWhenHeld(*run, 2, SIGINT);
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
  HoldAt({{1, "    writing "}});
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes"});
  ASSERT_TRUE(Held(*run, 1)) << run->err();  // the job stays where it is
  for (const char* told : {"Stopping: ", "Stopping the restore.", "Ending now"}) {
    run->Signal(SIGINT);
    ASSERT_TRUE(run->WaitForError(told)) << run->err();
  }
  const CommandResult r = run->Finish();
  card.environment.clear();
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
  HoldAt({{1, "VerifyOnly"}});
  auto run = card.Start({"verify", "--card", "E:", "--package", package});
  SignalWhenHeld(*run, 1, SIGINT);
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

  HoldAt({{1, "    writing "}});
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes"});
  ASSERT_TRUE(Held(*run, 1)) << run->err();
  ASSERT_TRUE(gate.Close());
  LetGo(1);  // on into the lock the test holds
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

// Another card put in the first one's place as the job begins to verify (the card's folder
// renamed away, another in its place) is never written, and no card is called good.
TEST_F(InterruptTest, ACardPutInTheFirstOnesPlaceBeforeTheVerificationIsNeverWritten) {
  HoldAt({{1, "Verifying stored files."}});
  auto run = card.Start({"store", "--card", "E:", "--package", package, "--yes", "--json"});
  ASSERT_TRUE(Held(*run, 1)) << run->err();
  std::filesystem::rename(card.CardDir(), card.CardDir() + "-first");
  card.Put("APP\\F0.BIN", "the second card's own file");
  const std::map<std::string, std::string> second = card.Snapshot();
  LetGo(1);
  const CommandResult r = run->Finish();
  EXPECT_EQ(r.exitCode, 1) << r.err;
  for (const char* claim : {"Done!", "Restore OK!!", "\"verification\": \"verify\""})
    EXPECT_EQ((r.out + r.err).find(claim), std::string::npos) << claim << " in:\n" << r.err;
  EXPECT_NE(r.out.find("\"outcome\": \"card_replaced\""), std::string::npos) << r.out;
  EXPECT_EQ(card.Snapshot(), second);
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
