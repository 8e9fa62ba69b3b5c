#include "log/log_to_file.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "support/fake_platform.h"
#include "support/log_lines.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>

#include "platform/posix/posix_platform.h"
#include "platform/posix_fixture.h"

namespace cw {
namespace {

constexpr const char* kLogPath = "C:\\DATA\\fwp_downloader.log";
constexpr const char* kPrefix = "2024-12-06 13:45:05 - ";

class LogToFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs().AddFolder("C:\\DATA");
    fs().SetLocalTime(LocalTime{2024, 12, 6, 13, 45, 5, 0});
  }
  FakePlatform& fs() { return fake_; }
  // A log as the dialog's start-up sets it up.
  void Open(CLogToFile& log) {
    log.SetLogFile(kLogPath);
    log.SetEnabled(true);
  }
  FakePlatform fake_;
};

TEST_F(LogToFileTest, LineHasTimestampPrefixAndCrLf) {
  CLogToFile log(fs());
  Open(log);
  log.Log("  saved.");
  EXPECT_EQ(fs().ReadFile(kLogPath), std::string(kPrefix) + "  saved.\r\n");
}

TEST_F(LogToFileTest, LineFeedInsideMessageBecomesCrLfWithoutSecondTimestamp) {
  CLogToFile log(fs());
  Open(log);
  log.Log("first\nsecond");
  EXPECT_EQ(fs().ReadFile(kLogPath), std::string(kPrefix) + "first\r\nsecond\r\n");
}

TEST_F(LogToFileTest, EmptyMessageGivesPrefixOnly) {
  CLogToFile log(fs());
  Open(log);
  log.Log("");
  EXPECT_EQ(fs().ReadFile(kLogPath), "2024-12-06 13:45:05 - \r\n");
}

TEST_F(LogToFileTest, LinesAreAppendedToExistingContent) {
  fs().WriteFile(kLogPath, "old line\r\n");
  CLogToFile log(fs());
  Open(log);
  EXPECT_TRUE(log.fileOk());
  EXPECT_EQ(fs().ReadFile(kLogPath), "old line\r\n") << "the probe must not change the file";
  log.Log("a");
  fs().SetLocalTime(LocalTime{2025, 1, 2, 3, 4, 5, 0});
  log.Log("b");
  EXPECT_EQ(fs().ReadFile(kLogPath), std::string("old line\r\n") + kPrefix + "a\r\n" +
                                         "2025-01-02 03:04:05 - b\r\n");
}

TEST_F(LogToFileTest, FailedTimeConversionWritesZeroDateAndMinusOneTime) {
  fs().SetLocalTime(LocalTime{});
  CLogToFile log(fs());
  Open(log);
  log.Log("x");
  EXPECT_EQ(fs().ReadFile(kLogPath), "0000-00-00 -1:-1:-1 - x\r\n");
}

TEST_F(LogToFileTest, ProbeLeavesNoFileAndFirstLineCreatesIt) {
  CLogToFile log(fs());
  log.SetLogFile(kLogPath);
  EXPECT_TRUE(log.fileOk());
  EXPECT_EQ(log.errorText(), "");
  EXPECT_EQ(log.logPath(), kLogPath);
  EXPECT_FALSE(fs().Exists(kLogPath));
  // The probe really wrote to the file it created, then removed it.
  EXPECT_EQ(fs().CallCount("Write", kLogPath), 1u);
  EXPECT_EQ(fs().CallCount("DeleteFile", kLogPath), 1u);
  log.SetEnabled(true);
  log.Log("first");
  EXPECT_EQ(fs().ReadFile(kLogPath), std::string(kPrefix) + "first\r\n");
}

TEST_F(LogToFileTest, NothingIsWrittenWhileDisabledOrBeforeSetLogFile) {
  CLogToFile log(fs());
  log.SetEnabled(true);
  log.Log("before the path is set");
  EXPECT_EQ(fs().CallCount("OpenFile"), 0u);
  log.SetEnabled(false);
  log.SetLogFile(kLogPath);
  log.Log("while disabled");
  EXPECT_FALSE(fs().Exists(kLogPath));
  EXPECT_FALSE(log.enabled());
}

TEST_F(LogToFileTest, ReadOnlyLogFailsProbeWithAccessDeniedAndWritesNothing) {
  fs().WriteFile(kLogPath, "kept\r\n", kAttrReadOnly);
  CLogToFile log(fs());
  Open(log);
  EXPECT_FALSE(log.fileOk());
  EXPECT_EQ(log.errorText(), "Access denied");
  log.Log("dropped");
  EXPECT_EQ(fs().ReadFile(kLogPath), "kept\r\n");
}

TEST_F(LogToFileTest, ProbeFailuresStoreTheirCauseNames) {
  struct Case {
    const char* op;
    uint32_t error;
    const char* cause;
  };
  for (const Case& c : {Case{"OpenFile", kErrSharingViolation, "Sharing violation"},
                        Case{"Write", kErrDiskFull, "Disk is full"},
                        Case{"Close", kErrIoDevice, "Generic"},
                        Case{"DeleteFile", kErrAccessDenied, "Access denied"}}) {
    SCOPED_TRACE(c.op);
    fs().FailCall(c.op, c.error, 1, kLogPath);
    CLogToFile log(fs());
    log.SetLogFile(kLogPath);
    EXPECT_FALSE(log.fileOk());
    EXPECT_EQ(log.errorText(), c.cause);
    fs().ClearFailures();
    if (std::string(c.op) != "DeleteFile") {
      EXPECT_FALSE(fs().Exists(kLogPath)) << "a failed probe leaves no file behind";
    }
    fs().DeleteFile(kLogPath);
  }
}

TEST_F(LogToFileTest, MissingFolderFailsProbeWithBadPath) {
  CLogToFile log(fs());
  log.SetLogFile("C:\\NO_SUCH_FOLDER\\fwp_downloader.log");
  EXPECT_FALSE(log.fileOk());
  EXPECT_EQ(log.errorText(), "Bad path");
}

TEST_F(LogToFileTest, FailedLineIsDroppedAndNextLineTriesAgain) {
  CLogToFile log(fs());
  Open(log);
  fs().FailCall("OpenFile", kErrSharingViolation, 1, kLogPath);
  log.Log("lost");
  log.Log("kept");
  EXPECT_EQ(fs().ReadFile(kLogPath), std::string(kPrefix) + "kept\r\n");
}

TEST_F(LogToFileTest, EveryLineIsWrittenUnderTheLogsOwnLock) {
  CLogToFile log(fs());
  Open(log);
  fs().ClearCalls();
  log.Log("one");
  log.Log("two");
  // Asked for by its own name, which no other lock shares.
  EXPECT_EQ(fs().CallCount("AcquireLock", kLogMutexName), 2u);
  EXPECT_EQ(fs().CallCount("AcquireLock", kLogPath), 0u);
  // One open, seek, write and close per line, each after taking the lock.
  std::vector<std::string> ops;
  for (const FakeCall& call : fs().Calls()) ops.push_back(call.op);
  const std::vector<std::string> line = {"AcquireLock", "OpenFile", "Seek", "Write", "Close"};
  std::vector<std::string> expected = line;
  expected.insert(expected.end(), line.begin(), line.end());
  EXPECT_EQ(ops, expected);
  // Opened by the path the system gave when the log was set, not looked up again per line.
  for (const FakeCall& call : fs().Calls()) {
    if (call.op == "OpenFile") {
      EXPECT_EQ(call.path, fs().ToHostPath(kLogPath));
    }
  }
}

TEST_F(LogToFileTest, TwoThreadsLoggingAtOnceWriteOnlyWholeLines) {
  CLogToFile log(fs());
  Open(log);
  constexpr int kLines = 300;
  auto writer = [&log](char who) {
    for (int i = 0; i < kLines; ++i) log.Log(std::string(1, who) + std::to_string(i));
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  const std::string text = fs().ReadFile(kLogPath);
  std::set<std::string> seen;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "the file ends inside a line";
    const std::string line = text.substr(start, end - start);
    ASSERT_EQ(line.rfind(kPrefix, 0), 0u) << line;
    EXPECT_TRUE(seen.insert(line.substr(std::string(kPrefix).size())).second) << line;
    start = end + 2;
  }
  EXPECT_EQ(seen.size(), 2u * kLines);
  EXPECT_TRUE(seen.count("a299") && seen.count("b0"));
}

// Steps: "[" and "]" begin and end a batch, "other:x" logs x from another thread, anything
// else is logged as it is. The file ends with every line in the order logged, in `writes`
// writes: a batch's lines go out together.
TEST_F(LogToFileTest, BatchesWriteTheirLinesTogetherInTheOrderLogged) {
  struct Case {
    const char* name;
    std::vector<std::string> steps;
    std::vector<std::string> lines;
    size_t writes;
  };
  const Case cases[] = {
      {"one batch", {"[", "a", "b", "c", "]"}, {"a", "b", "c"}, 1},
      {"lines around a batch", {"x", "[", "a", "b", "]", "y"}, {"x", "a", "b", "y"}, 3},
      {"nested: the outer end writes", {"[", "a", "[", "b", "]", "c", "]"}, {"a", "b", "c"}, 1},
      {"another thread's line writes what is held first",
       {"[", "a", "other:b", "c", "]"}, {"a", "b", "c"}, 3},
      {"an empty batch writes nothing", {"[", "]", "x"}, {"x"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs().DeleteFile(kLogPath);
    CLogToFile log(fs());
    Open(log);
    fs().ClearCalls();
    for (const std::string& step : c.steps) {
      if (step == "[") log.BeginBatch();
      else if (step == "]") log.EndBatch();
      else if (step.starts_with("other:")) std::thread([&] { log.Log(step.substr(6)); }).join();
      else log.Log(step);
    }
    EXPECT_EQ(LogMessages(fs().ReadFile(kLogPath)), c.lines);
    EXPECT_EQ(fs().CallCount("Write", fs().ToHostPath(kLogPath)), c.writes);
    EXPECT_EQ(fs().CallCount("AcquireLock", kLogMutexName), c.writes);
  }
}

// A child process logging through its own platform, as another run of the same user does;
// `lines` runs in it and the child ends with _exit, so nothing is written on the way out.
pid_t LogInChild(const test::TempDir& dir, const std::function<void(CLogToFile&)>& lines) {
  const pid_t child = fork();
  if (child != 0) return child;
  PosixPlatformOptions options;
  options.discoverMounts = false;
  options.instantSleeps = true;
  options.mappings.push_back(
      DriveMapping{'E', dir.path(), true, std::nullopt, std::nullopt, std::nullopt});
  auto platform = MakePosixPlatform(options);
  CLogToFile log(*platform);
  log.SetLogFile("E:\\fwp_downloader.log");
  log.SetEnabled(true);
  lines(log);
  _exit(log.fileOk() ? 0 : 1);
}

// Line by line or in batches, two runs' lines interleave whole, each run's in its own order.
TEST(LogToFileProcessTest, TwoProcessesWriteOnlyWholeLines) {
  for (const int batch : {0, 7}) {
    SCOPED_TRACE(batch);
    test::TempDir dir;
    // The file exists before both start, so neither probe creates and deletes it under the
    // other.
    const std::string hostLog = dir.Write("fwp_downloader.log", "");
    constexpr int kLines = 200;
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
      children[who] = LogInChild(dir, [who, batch](CLogToFile& log) {
        for (int i = 0; i < kLines; ++i) {
          if (batch > 0 && i % batch == 0) log.BeginBatch();
          log.Log(std::string(who ? "b" : "a") + std::to_string(i));
          if (batch > 0 && (i % batch == batch - 1 || i == kLines - 1)) log.EndBatch();
        }
      });
      ASSERT_GE(children[who], 0);
    }
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string text = test::ReadHostFile(hostLog);
    ASSERT_TRUE(text.ends_with("\r\n")) << "the file ends inside a line";
    int next[2] = {0, 0};
    for (const std::string& line : LogMessages(text)) {
      ASSERT_TRUE(line.starts_with("a") || line.starts_with("b")) << line;
      const int who = line[0] == 'b';
      EXPECT_EQ(line.substr(1), std::to_string(next[who]++)) << "torn or out of order";
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * kLines);
  }
}

// A run that dies inside a batch loses that batch's lines only: every ended batch is on disk.
TEST(LogToFileProcessTest, ACrashInsideABatchKeepsEveryEarlierBatch) {
  test::TempDir dir;
  const std::string hostLog = dir.Write("fwp_downloader.log", "");
  const pid_t child = LogInChild(dir, [](CLogToFile& log) {
    for (const char* file : {"F1", "F2"}) {
      LogBatch lines(&log);
      log.Log(std::string("checked ") + file);
      log.Log(std::string("matched ") + file);
    }
    log.BeginBatch();
    log.Log("checked F3");
    ::raise(SIGKILL);
  });
  ASSERT_GE(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(LogMessages(test::ReadHostFile(hostLog)),
            (std::vector<std::string>{"checked F1", "matched F1", "checked F2", "matched F2"}));
}

// The data folder's path is upper-cased while the folders on the disk are not; the log finds
// them once, and again when they change under it.
class LogToFileHostTest : public test::PosixTest {
 protected:
  std::string ReadOnCard(const std::string& relative) const {
    return temp_.Read("card/" + relative);
  }
};

TEST_F(LogToFileHostTest, LinesFollowTheDataFolderWhenItIsMadeAgainInAnotherCase) {
  std::filesystem::create_directories(card_ + "/Brevant/Quorvane");
  CLogToFile log(*platform_);
  log.SetLogFile("E:\\BREVANT\\QUORVANE\\fwp_downloader.log");
  log.SetEnabled(true);
  ASSERT_TRUE(log.fileOk());
  log.Log("one");
  EXPECT_NE(ReadOnCard("Brevant/Quorvane/fwp_downloader.log").find(" - one\r\n"),
            std::string::npos);

  std::filesystem::rename(card_ + "/Brevant", card_ + "/old");
  std::filesystem::create_directories(card_ + "/BREVANT/quorvane");
  log.Log("two");
  const std::string moved = ReadOnCard("BREVANT/quorvane/fwp_downloader.log");
  EXPECT_TRUE(moved.size() == 27 && moved.ends_with(" - two\r\n")) << moved;
  EXPECT_EQ(ReadOnCard("old/Quorvane/fwp_downloader.log").find("two"), std::string::npos);

  // With the folder gone the line is lost, and nothing makes the folder again.
  std::filesystem::remove_all(card_ + "/BREVANT");
  log.Log("three");
  log.Log("four");
  EXPECT_FALSE(std::filesystem::exists(card_ + "/BREVANT"));
}

// The log is kept open between lines, yet a line always goes to the file its path names then:
// not to one removed, or replaced by another, since the last line.
TEST_F(LogToFileHostTest, ALineGoesToTheFileThePathNamesNow) {
  const std::string path = card_ + "/fwp_downloader.log";
  CLogToFile log(*platform_);
  log.SetLogFile("E:\\fwp_downloader.log");
  log.SetEnabled(true);
  log.Log("one");
  std::filesystem::remove(path);
  log.Log("two");
  std::filesystem::rename(path, card_ + "/kept.log");
  temp_.Write("card/other.log", "other\r\n");
  std::filesystem::rename(card_ + "/other.log", path);
  log.Log("three");
  EXPECT_EQ(LogMessages(ReadOnCard("kept.log")), std::vector<std::string>{"two"});
  EXPECT_EQ(LogMessages(ReadOnCard("fwp_downloader.log")),
            (std::vector<std::string>{"other", "three"}));
}

TEST(FileErrorCauseTest, NamesOfAllCodesAndUnknownAboveFourteen) {
  const char* names[] = {"None",
                         "Generic",
                         "File not found",
                         "Bad path",
                         "Too many open files",
                         "Access denied",
                         "Invalid file",
                         "Cannot remove working directory",
                         "Directory is full",
                         "Bad seek",
                         "Hardware error",
                         "Sharing violation",
                         "Lock violation",
                         "Disk is full",
                         "End of file"};
  for (uint32_t code = 0; code < 15; ++code) EXPECT_STREQ(FileErrorCauseName(code), names[code]);
  EXPECT_STREQ(FileErrorCauseName(15), "Unknown");
  EXPECT_STREQ(FileErrorCauseName(static_cast<uint32_t>(-1)), "Unknown");
}

TEST(FileErrorCauseTest, WindowsErrorsMapToCauses) {
  EXPECT_EQ(FileErrorCauseOf(kErrFileNotFound), 2u);
  EXPECT_EQ(FileErrorCauseOf(kErrPathNotFound), 3u);
  EXPECT_EQ(FileErrorCauseOf(kErrAccessDenied), 5u);
  EXPECT_EQ(FileErrorCauseOf(kErrSharingViolation), 11u);
  EXPECT_EQ(FileErrorCauseOf(kErrDiskFull), 13u);
  EXPECT_EQ(FileErrorCauseOf(kErrWriteProtect), 1u);
  EXPECT_EQ(FileErrorCauseOf(kErrSuccess), 1u);
}

}  // namespace
}  // namespace cw
