// TEMPORARY: stands in for the platform backend until it is merged, so this branch links.
// Delete this file when the real src/platform implementation lands.

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace cw {
namespace {
std::atomic<Platform*> g_platform{nullptr};
thread_local uint32_t t_lastError = 0;
}  // namespace

uint32_t GetLastError() { return t_lastError; }
void SetLastError(uint32_t error) { t_lastError = error; }

Platform& Sys() {
  Platform* platform = g_platform.load();
  if (platform == nullptr) {
    std::fprintf(stderr, "cardwright: no platform installed (temporary stub)\n");
    std::abort();
  }
  return *platform;
}

void SetPlatform(Platform* platform) { g_platform.store(platform); }

}  // namespace cw
