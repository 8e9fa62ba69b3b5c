#include "ui/package_versions.h"

namespace cw {

// TODO(merge): call the package reader's version-block operation here.
std::optional<PackageVersionTexts> ReadPackageVersions(JobContext& job, const std::string& path) {
  (void)job;
  (void)path;
  return std::nullopt;
}

}  // namespace cw
