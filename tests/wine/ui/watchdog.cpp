// A window test that stalls (a box nobody answers, a thread waiting on another) ends the whole
// run with a failure naming the test, instead of hanging until ctest's timeout or forever.

#include "ui/win32/win32_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

namespace cw::test {
namespace {

// Far above the slowest test (a store job under Wine takes a few seconds).
constexpr DWORD kTestLimitMs = 180000;

std::atomic<DWORD> testStart{0};
std::atomic<bool> testRunning{false};
std::string testName;  // written before testRunning is set, read after

class Watch : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& info) override {
    testRunning = false;  // the watchdog reads the name only while a test runs
    testName = std::string(info.test_suite_name()) + "." + info.name();
    testStart = ::GetTickCount();
    testRunning = true;
  }
  void OnTestEnd(const ::testing::TestInfo&) override { testRunning = false; }
};

class Watchdog : public ::testing::Environment {
  void SetUp() override {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watch);
    std::thread([] {
      for (;;) {
        ::Sleep(500);
        if (testRunning && ::GetTickCount() - testStart > kTestLimitMs) {
          std::fprintf(stderr, "\n%s stalled for %lu s: the run ends as failed\n",
                       testName.c_str(), static_cast<unsigned long>(kTestLimitMs / 1000));
          std::fflush(stderr);
          std::fflush(stdout);
          ::TerminateProcess(::GetCurrentProcess(), 1);
        }
      }
    }).detach();
  }
};

[[maybe_unused]] ::testing::Environment* const watchdog =
    ::testing::AddGlobalTestEnvironment(new Watchdog);

}  // namespace
}  // namespace cw::test
