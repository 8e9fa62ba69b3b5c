#include "ui/package_versions.h"

#include "job/read_version_block.h"

namespace cw {

PackageVersionTexts ReadPackageVersions(Platform& platform, JobContext& job,
                                        PackageVersions& versions, const std::string& path,
                                        const PackageVersionTexts& shown) {
  const VersionTexts texts =
      ReadVersionBlock(platform, path, job, versions, shown.engine, shown.panel);
  return {texts.engineText, texts.panelText};
}

}  // namespace cw
