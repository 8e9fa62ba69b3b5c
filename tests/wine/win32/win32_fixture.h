#pragma once
// Shared by the Win32 backend's tests: a real Win32 platform of its own, a temporary
// folder named by its Windows path, and the card drive the Wine driver maps (E: by default),
// which tests that need it skip without, saying why.

#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/win32/win32_platform.h"
#include "support/temp_dir.h"

namespace cw::test {

// The value of an environment variable, empty when unset.
std::string EnvironmentValue(const char* name);

// This test program's own path, for the child processes of the lock tests.
std::string OwnExecutable();

// Runs this program with `arguments` and returns its exit code (-1 when it cannot start).
int RunSelf(const std::string& arguments);
// Starts it and returns the process handle (nullptr when it cannot start) ...
HANDLE StartSelf(const std::string& arguments);
// ... whose exit code this waits for (-1 for nullptr); it closes the handle.
int WaitForExit(HANDLE process);

class Win32Test : public ::testing::Test {
 protected:
  Win32Test();
  ~Win32Test() override;

  // dir's Windows path with a backslash and `name`.
  std::string At(const std::string& name) const;
  // The drive the Wine driver mapped as a removable card ("E:"), or empty.
  static std::string CardDrive();

  std::unique_ptr<win32::Win32Platform> platform;
  TempDir dir;
  std::string folder;  // dir's path with backslashes
};

}  // namespace cw::test
