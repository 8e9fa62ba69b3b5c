#pragma once
// Packages whose version values differ from every default, shared by the tests of the version
// block's parse and of the read a front end runs.

#include <cstdint>
#include <string>

#include "support/package_builder.h"

namespace cw::test {

inline PackageSpec Versions() {
  PackageSpec spec;
  spec.formatVersion = 1;
  spec.formatRevision = 9;
  spec.formatLetter = 'C';
  spec.generatorVersion = 3;
  spec.generatorRevision = 21;
  spec.generatorLetter = 'D';
  spec.engineVersion = 2;
  spec.engineRevision = 15;
  spec.engineLetter = 'B';
  spec.panelVersion = 10;
  spec.panelRevision = 3;
  spec.panelLetter = 0;
  return spec;
}

// Versions that differ from every default, and one incompressible 1 MiB file, so the package
// is far larger than the head that is read first.
inline PackageSpec Large(const std::string& title = "FIRMWARE PACKAGE") {
  PackageSpec spec{.releaseNumber = 7, .title = title, .formatRevision = 9,
                   .generatorVersion = 3, .generatorRevision = 21, .engineVersion = 2,
                   .engineRevision = 15, .engineLetter = 'B', .panelVersion = 10,
                   .panelRevision = 3};
  std::string content(1 << 20, '\0');
  uint32_t v = 1;
  for (char& c : content) {
    v = v * 1664525u + 1013904223u;
    c = static_cast<char>(v >> 24);
  }
  spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\BIG.BIN", .content = content});
  return spec;
}

}  // namespace cw::test
