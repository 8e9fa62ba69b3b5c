// The console's end events (close, sign-out, shutdown) as Windows hands them to the program's
// console handler. No program can send these three to itself, so the test calls the handler as
// Windows would.
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/console_end.h"

namespace cw::test {
namespace {

TEST(ConsoleEnd, TheThreeEndsReachTheWatchAndCtrlCIsLeftToTheSignals) {
  std::vector<std::string> seen;
  {
    ConsoleEndWatch watch([&](const char* what) { seen.push_back(what); });
    EXPECT_TRUE(HandleConsoleEnd(CTRL_CLOSE_EVENT));
    EXPECT_TRUE(HandleConsoleEnd(CTRL_LOGOFF_EVENT));
    EXPECT_TRUE(HandleConsoleEnd(CTRL_SHUTDOWN_EVENT));
    EXPECT_FALSE(HandleConsoleEnd(CTRL_C_EVENT));
    EXPECT_FALSE(HandleConsoleEnd(CTRL_BREAK_EVENT));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"the console window was closed",
                                            "the user is signing out",
                                            "Windows is shutting down"}));
  // Without a watch Windows' own handling applies.
  EXPECT_FALSE(HandleConsoleEnd(CTRL_CLOSE_EVENT));
  EXPECT_EQ(seen.size(), 3u);
}

// Windows calls the handler on a thread of its own; the watch's end waits for a handler still
// at work (the job's stop and the transcript), so nothing it uses is gone under it.
TEST(ConsoleEnd, TheWatchsEndWaitsForARunningHandler) {
  std::atomic<bool> inside{false}, finished{false};
  std::thread windows;
  {
    ConsoleEndWatch watch([&](const char*) {
      inside = true;
      ::Sleep(300);
      finished = true;
    });
    windows = std::thread([] { HandleConsoleEnd(CTRL_CLOSE_EVENT); });
    while (!inside) ::Sleep(1);
  }
  EXPECT_TRUE(finished);
  windows.join();
}

}  // namespace
}  // namespace cw::test
