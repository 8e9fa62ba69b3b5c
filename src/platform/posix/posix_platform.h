#pragma once
// The POSIX backend: Windows services on Linux, the way Wine maps them.

#include <memory>
#include <string>
#include <vector>

#include "platform/drive_map.h"
#include "platform/platform.h"

namespace cw {

struct PosixPlatformOptions {
  // Explicit mappings take their letters first; discovered media fill the free letters from D:.
  std::vector<DriveMapping> mappings;
  // Skip /proc/self/mountinfo discovery (tests want a map of exactly their mappings).
  bool discoverMounts = true;
  // Make every Sleep return at once (tests).
  bool instantSleeps = false;
  // Where the lock files of named locks (not file locks) live; every process that shares a
  // lock name must use the same folder.
  std::string lockFolder = "/tmp";
};

std::unique_ptr<Platform> MakePosixPlatform(const PosixPlatformOptions& options);

}  // namespace cw
