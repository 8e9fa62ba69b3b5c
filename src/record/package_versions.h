#pragma once
// The version values a package's header gives: what "FWPVers.bin" and the upgrade record
// describe, and what a store is refused by when the package's format is too new.

#include <cstdint>

namespace cw {

// The package header's version information, as GetFWPVerRev reads it.
struct VersionBlock {
  int32_t formatVersion = 0;
  int32_t formatRevision = 0;
  char formatLetter = 0;
  int32_t generatorVersion = 0;
  int32_t generatorRevision = 0;
  char generatorLetter = 0;
};

// One package's own values, 0 where its header gives none: `fwpVersion` is the format number
// (version × 1000 + revision) formats are compared by.
struct PackageVersions {
  VersionBlock versionBlock;
  int32_t fwpVersion = 0;
};

}  // namespace cw
