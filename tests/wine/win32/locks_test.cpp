// Named locks are named mutexes: a file's lock is the log's "B_LOGTOFILE_MUTEX", shared by
// every thread and every process; two processes logging to one file write whole lines.
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "win32_fixture.h"

namespace cw::test {
namespace {

using Win32Locks = Win32Test;

TEST(Win32LockNames, FileLocksAreTheLogMutexOtherNamesAreKeptApart) {
  EXPECT_EQ(win32::MutexNameFor("C:\\USERS\\TECH\\DOCUMENTS\\fwp_downloader.log"),
            "B_LOGTOFILE_MUTEX");
  EXPECT_EQ(win32::MutexNameFor("E:"), "B_LOGTOFILE_MUTEX");
  EXPECT_EQ(win32::MutexNameFor("job"), "cardwright-job");
  EXPECT_EQ(win32::MutexNameFor("a b*c.d-e_f"), "cardwright-a_b_c.d-e_f");
}

TEST_F(Win32Locks, AnotherThreadWaitsWhileTheLockIsHeld) {
  const std::string name = At("fwp_downloader.log");
  std::unique_ptr<HeldLock> held = platform->AcquireLock(name);
  ASSERT_NE(held, nullptr);
  bool busy = false;
  uint32_t error = 0;
  std::thread([&] {
    busy = platform->TryAcquireLock(At("other.log")) == nullptr;  // the same mutex
    error = GetLastError();
  }).join();
  EXPECT_TRUE(busy);
  EXPECT_EQ(error, kErrSharingViolation);
  held.reset();
  bool free = false;
  std::thread([&] { free = platform->TryAcquireLock(name) != nullptr; }).join();
  EXPECT_TRUE(free);
}

TEST_F(Win32Locks, AnotherProcessSeesTheLockHeld) {
  std::unique_ptr<HeldLock> held = platform->AcquireLock(At("fwp_downloader.log"));
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(RunSelf("--try-lock C:\\any\\file.log"), 3);
  EXPECT_EQ(RunSelf("--try-lock unrelated"), 0);
  held.reset();
  EXPECT_EQ(RunSelf("--try-lock C:\\any\\file.log"), 0);
}

TEST_F(Win32Locks, TwoProcessesLogWholeLines) {
  const std::string log = At("fwp_downloader.log");
  { std::ofstream(dir.path() + "/fwp_downloader.log"); }  // exists: neither child probes it
  constexpr int kLines = 150;
  HANDLE first = StartSelf("--log-lines \"" + log + "\" first " + std::to_string(kLines));
  HANDLE second = StartSelf("--log-lines \"" + log + "\" second " + std::to_string(kLines));
  ASSERT_EQ(WaitForExit(first), 0);
  ASSERT_EQ(WaitForExit(second), 0);

  std::ifstream in(dir.path() + "/fwp_downloader.log", std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
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
