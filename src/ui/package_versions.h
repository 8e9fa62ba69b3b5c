#pragma once
// The window's one door to the package's version block (GetFWPVerRev): reads it into the job
// and gives the texts of the engine and panel version boxes.

#include <string>

namespace cw {

class Platform;
struct JobContext;
struct PackageVersions;

struct PackageVersionTexts {
  std::string engine;  // "Engine Software Version: 2.015B"
  std::string panel;   // "Panel Software Version: 1.007"
};

// Reads the version block of the package at `path` into the window's `versions`, logging and
// showing its own messages through `job`. Returns the texts the boxes show afterwards: `shown`
// where the package gave nothing new (it cannot be opened, or holds no version block).
PackageVersionTexts ReadPackageVersions(Platform& platform, JobContext& job,
                                        PackageVersions& versions, const std::string& path,
                                        const PackageVersionTexts& shown);

}  // namespace cw
