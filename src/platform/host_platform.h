#pragma once
// The host's backend, chosen at build time: each backend (platform/posix, platform/win32)
// defines MakeHostPlatform once, so the front ends that make the platform never name a backend.

#include <memory>
#include <vector>

#include "platform/drive_map.h"
#include "platform/platform.h"

namespace cw {

struct HostPlatformOptions {
  // Explicit drive mappings from --drive and CARDWRIGHT_DRIVES, already parsed. Where drive
  // letters are real (Windows) only their type, file-system and size overrides apply.
  std::vector<DriveMapping> mappings;
};

std::unique_ptr<Platform> MakeHostPlatform(const HostPlatformOptions& options);

}  // namespace cw
