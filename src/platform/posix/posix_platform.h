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
  // This user's own folder: the lock files of named locks (not file locks) and the temporary
  // folder. Empty: $XDG_RUNTIME_DIR when set, else "cardwright-<uid>" below $TMPDIR (or /tmp).
  std::string privateFolder;
};

std::unique_ptr<Platform> MakePosixPlatform(const PosixPlatformOptions& options);

}  // namespace cw
