#include "platform/platform.h"

#include <atomic>
#include <mutex>

#include "platform/host_platform.h"

namespace cw {

namespace {

thread_local uint32_t t_lastError = kErrSuccess;

std::atomic<Platform*> g_installed{nullptr};

// A library user that never installs a platform still gets a working one: the host's drives,
// no explicit mappings. It lives until the process ends.
Platform& DefaultPlatform() {
  static std::once_flag once;
  static std::unique_ptr<Platform> platform;
  std::call_once(once, [] { platform = MakeHostPlatform(HostPlatformOptions{}); });
  return *platform;
}

}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t error) { t_lastError = error; }

Platform& Sys() {
  Platform* installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : DefaultPlatform();
}

// nullptr goes back to the default platform.
void SetPlatform(Platform* platform) { g_installed.store(platform, std::memory_order_release); }

}  // namespace cw
