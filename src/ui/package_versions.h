#pragma once
// The window's one door to the package's version block (GetFWPVerRev): reads it into the job
// and composes the texts of the engine and panel version boxes.

#include <optional>
#include <string>

namespace cw {

struct JobContext;

struct PackageVersionTexts {
  std::string engine;  // "Engine Software Version: 2.015B"
  std::string panel;   // "Panel Software Version: 1.003"
};

// Reads the version block of the package at `path` into `job` (versionBlock, fwpVersion),
// logging and showing its own messages. nullopt when the boxes keep their texts (the package
// cannot be opened, or holds no version block).
std::optional<PackageVersionTexts> ReadPackageVersions(JobContext& job, const std::string& path);

}  // namespace cw
