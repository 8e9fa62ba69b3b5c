// Named locks are named mutexes, one per name: the log's "B_LOGTOFILE_MUTEX" is shared by every
// thread and process (two processes logging to one file write whole lines), and each backup
// folder's lock is a mutex of its own, so a job holding one never blocks the log or the other
// kind of card.
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "backup/backup_lock.h"
#include "log/log_to_file.h"
#include "win32_fixture.h"

namespace cw::test {
namespace {

using Win32Locks = Win32Test;

TEST(Win32LockNames, EveryLockHasItsOwnMutex) {
  EXPECT_EQ(win32::MutexNameFor(kLogMutexName), "B_LOGTOFILE_MUTEX");
  const std::string engine = win32::MutexNameFor("C:\\DOCS\\BREVANT\\QUORVANE\\ENGINE.lock");
  const std::string panel = win32::MutexNameFor("C:\\DOCS\\BREVANT\\QUORVANE\\PANEL.lock");
  EXPECT_EQ(engine, "cardwright-file-C__DOCS_BREVANT_QUORVANE_ENGINE.LOCK");
  EXPECT_NE(engine, panel);
  EXPECT_NE(engine, "B_LOGTOFILE_MUTEX");
  // Windows paths are the same file whatever their case.
  EXPECT_EQ(win32::MutexNameFor("c:\\docs\\brevant\\quorvane\\engine.lock"), engine);
  EXPECT_EQ(win32::MutexNameFor("E:"), "cardwright-file-E_");
  EXPECT_EQ(win32::MutexNameFor("job"), "cardwright-job");
  EXPECT_EQ(win32::MutexNameFor("a b*c.d-e_f"), "cardwright-a_b_c.d-e_f");
  // A path too long for a kernel object name is cut, and still tells its folders apart.
  const std::string deep(300, 'D');
  const std::string a = win32::MutexNameFor("C:\\" + deep + "\\A.lock");
  const std::string b = win32::MutexNameFor("C:\\" + deep + "\\B.lock");
  EXPECT_LE(a.size(), 200u);
  EXPECT_NE(a, b);
}

TEST_F(Win32Locks, AnotherThreadWaitsOnlyForTheSameLock) {
  const std::string name = At("ENGINE.lock");
  std::unique_ptr<HeldLock> held = platform->AcquireLock(name, kWaitForever);
  ASSERT_NE(held, nullptr);
  bool busy = false, waitedBusy = false, otherFree = false, logFree = false;
  uint32_t error = 0, waitedError = 0;
  std::thread([&] {
    busy = platform->TryAcquireLock(name) == nullptr;
    error = GetLastError();
    // A bounded wait is the mutex's own time-out.
    waitedBusy = platform->AcquireLock(name, 20) == nullptr;
    waitedError = GetLastError();
    otherFree = platform->TryAcquireLock(At("PANEL.lock")) != nullptr;
    logFree = platform->TryAcquireLock(kLogMutexName) != nullptr;
  }).join();
  EXPECT_TRUE(busy);
  EXPECT_EQ(error, kErrSharingViolation);
  EXPECT_TRUE(waitedBusy);
  EXPECT_EQ(waitedError, kErrSharingViolation);
  // The session's named objects and %TEMP% are the user's own already.
  std::string why = "unchanged";
  EXPECT_TRUE(platform->CheckPrivateFolder(&why));
  EXPECT_EQ(why, "unchanged");
  EXPECT_TRUE(otherFree);
  EXPECT_TRUE(logFree);
  held.reset();
  bool free = false;
  std::thread([&] { free = platform->TryAcquireLock(name) != nullptr; }).join();
  EXPECT_TRUE(free);
}

TEST_F(Win32Locks, AnotherProcessSeesTheLockHeld) {
  std::unique_ptr<HeldLock> held = platform->AcquireLock(kLogMutexName, kWaitForever);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(RunSelf(std::string("--try-lock ") + kLogMutexName), 3);
  EXPECT_EQ(RunSelf("--try-lock C:\\any\\file.log"), 0);
  EXPECT_EQ(RunSelf("--try-lock unrelated"), 0);
  held.reset();
  EXPECT_EQ(RunSelf(std::string("--try-lock ") + kLogMutexName), 0);
}

// Two store jobs' backup locks, as stage 7 takes them: an Engine and a Panel job run side by
// side, a second job on the same kind of card is refused, and other processes go on logging
// while both are held.
TEST_F(Win32Locks, BackupLocksKeepJobsApartButNeverTheLog) {
  auto engineJob = std::make_unique<BackupFolderLock>();
  BackupFolderLock panelJob;
  ASSERT_TRUE(engineJob->TryTake(*platform, At("ENGINE")));
  ASSERT_TRUE(panelJob.TryTake(*platform, At("PANEL")));
  EXPECT_EQ(RunSelf("--try-lock \"" + BackupLockName(At("ENGINE")) + "\""), 3);
  EXPECT_EQ(RunSelf("--try-lock \"" + BackupLockName(At("PANEL")) + "\""), 3);

  const std::string log = At("fwp_downloader.log");
  dir.Write("fwp_downloader.log", "");
  // This thread also logs while holding both locks, as a job does.
  CLogToFile ownLog(*platform);
  ownLog.SetLogFile(log);
  ownLog.SetEnabled(true);
  ownLog.Log("job line");
  EXPECT_EQ(RunSelf("--log-lines \"" + log + "\" other 5"), 0);
  const std::string content = dir.Read("fwp_downloader.log");
  EXPECT_NE(content.find("job line"), std::string::npos);
  EXPECT_NE(content.find("other line 4"), std::string::npos);

  engineJob.reset();
  EXPECT_EQ(RunSelf("--try-lock \"" + BackupLockName(At("ENGINE")) + "\""), 0);
}

TEST_F(Win32Locks, TwoProcessesLogWholeLines) {
  const std::string log = At("fwp_downloader.log");
  dir.Write("fwp_downloader.log", "");  // exists: neither child probes it
  constexpr int kLines = 150;
  HANDLE first = StartSelf("--log-lines \"" + log + "\" first " + std::to_string(kLines));
  HANDLE second = StartSelf("--log-lines \"" + log + "\" second " + std::to_string(kLines));
  ASSERT_EQ(WaitForExit(first), 0);
  ASSERT_EQ(WaitForExit(second), 0);

  const std::string text = dir.Read("fwp_downloader.log");
  const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d - (first|second) line (\d+) \.{200}\r\n)");
  std::map<std::string, int> next = {{"first", 0}, {"second", 0}};
  size_t at = 0;
  int count = 0;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it, ++count) {
    ASSERT_EQ(static_cast<size_t>(it->position()), at) << "a broken line at byte " << at;
    at += it->length();
    // Each process's own lines stay in its order.
    EXPECT_EQ(std::stoi((*it)[2]), next[(*it)[1]]++);
  }
  EXPECT_EQ(at, text.size());
  EXPECT_EQ(count, 2 * kLines);
}

}  // namespace
}  // namespace cw::test
