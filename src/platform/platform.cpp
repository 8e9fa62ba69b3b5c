#include "platform/platform.h"

#include <chrono>

namespace cw {

namespace {

thread_local uint32_t t_lastError = kErrSuccess;

}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t error) { t_lastError = error; }

std::optional<DriveWhereabouts> DriveWhere(Platform& platform, const std::string& rootPath) {
  const std::string folder = platform.DriveHostPath(rootPath);
  if (folder.empty() || folder == "/" || folder.find(':') != std::string::npos) return std::nullopt;
  DriveWhereabouts where{folder, {}};
  platform.GetVolumeInformation(rootPath, &where.label, nullptr);
  return where;
}

WallTime Platform::GetWallTime() {
  using namespace std::chrono;
  WallTime now;
  now.unixMilliseconds =
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return now;
}

}  // namespace cw
