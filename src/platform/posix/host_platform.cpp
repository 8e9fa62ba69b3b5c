// The host platform on Linux: the POSIX backend with the mounted media discovered.
#include "platform/host_platform.h"

#include "platform/posix/posix_platform.h"

namespace cw {

std::unique_ptr<Platform> MakeHostPlatform(const HostPlatformOptions& options) {
  PosixPlatformOptions posix;
  posix.mappings = options.mappings;
  return MakePosixPlatform(posix);
}

}  // namespace cw
