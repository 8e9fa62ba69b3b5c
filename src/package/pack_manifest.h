#pragma once
// The manifest `cardwright pack` builds a package from: one statement per line (see
// docs/manifest.md). Reading it is core work so that it is tested without the command line.

#include <string>
#include <vector>

#include "package/package_writer.h"
#include "platform/platform.h"

namespace cw {

// One file line: where its content comes from. A CRC list line has no source; its content is
// made from the other files of its panel model.
struct ManifestFile {
  std::string source;  // as written in the manifest
  int crcListModel = 0;  // 3940 or 3950 for a "crclist" line
};

struct Manifest {
  PackageSpec spec;  // files without content yet
  std::vector<ManifestFile> sources;  // one per spec.files entry
};

// Parses manifest text. False with "manifest line N: ..." in *error.
bool ParseManifest(const std::string& text, Manifest* manifest, std::string* error);

// Reads the manifest at `path` (a host or Windows path) and the files it names, relative to the
// manifest's folder, and fills in the contents and CRC lists. False with a reason in *error.
bool LoadManifest(Platform& platform, const std::string& path, PackageSpec* spec,
                  std::string* error);

}  // namespace cw
