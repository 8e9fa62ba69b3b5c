// The Win32 backend's test program. Besides running the tests it is its own child process for
// the tests that need a second process:
//   --try-lock NAME               exit 0 when NAME's lock was free, 3 when another holds it
//   --log-lines PATH TAG COUNT    log COUNT lines "TAG line N" to PATH through the diagnostic log
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "log/log_to_file.h"
#include "platform/host_platform.h"
#include "platform/platform.h"

namespace {

int TryLock(const std::string& name) {
  const std::unique_ptr<cw::Platform> platform = cw::MakeHostPlatform(cw::HostPlatformOptions{});
  std::unique_ptr<cw::HeldLock> held = platform->TryAcquireLock(name);
  if (held) return 0;
  return cw::GetLastError() == cw::kErrSharingViolation ? 3 : 4;
}

int LogLines(const std::string& path, const std::string& tag, int count) {
  const std::unique_ptr<cw::Platform> platform = cw::MakeHostPlatform(cw::HostPlatformOptions{});
  cw::CLogToFile log(*platform);
  log.SetLogFile(path);
  log.SetEnabled(true);
  if (!log.fileOk()) return 4;
  // Long lines: a line written in pieces would show the other process's text inside it.
  const std::string padding(200, '.');
  for (int i = 0; i < count; ++i) log.Log(tag + " line " + std::to_string(i) + " " + padding);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--try-lock" && argc == 3) return TryLock(argv[2]);
  if (mode == "--log-lines" && argc == 5) return LogLines(argv[2], argv[3], std::atoi(argv[4]));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
