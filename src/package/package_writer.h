#pragma once
// Builds packages in exactly the layout the loader reads: the 32-byte prefix, a title line, the
// version block, "WINCE INCLUDED: ", an optional "3950 PANEL SUPPORT" line, "NUMBER OF FILES: ",
// the records, then each file's name stamp and data. Used by `cardwright pack` and by every
// test that needs a package.
//
//   PackageSpec spec{.releaseNumber = 42, .engineVersion = 2, .engineRevision = 15};
//   spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\MAIN.BIN", .content = "..."});
//   std::string bytes = BuildPackage(spec);

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/file_table.h"
#include "platform/platform.h"

namespace cw {

struct PackageFileSpec {
  int32_t kind = kKindEngine2;
  std::string cardPath{};
  std::string checkPath{};  // empty: the same as cardPath
  std::string content{};    // the file as it lands on the card
  // Record values that override what the writer computes, to build damaged packages.
  std::optional<int32_t> dataOffset{};
  std::optional<int32_t> storedSize{};
  std::optional<int32_t> fileSize{};
  std::optional<uint32_t> fileCrc{};
};

// Each version keyword is written only when its value is set, so a test can leave one out.
// Every member has a default, so designated initialisers may name only what matters.
struct PackageSpec {
  std::array<int32_t, 6> headerWords{};
  int32_t releaseNumber = 0;
  std::string title = "FIRMWARE PACKAGE";  // the first header line, which the prefix runs into
  std::optional<int32_t> formatVersion = 1;
  std::optional<int32_t> formatRevision = 9;
  std::optional<char> formatLetter = 'A';
  std::optional<int32_t> generatorVersion = 1;
  std::optional<int32_t> generatorRevision = 0;
  std::optional<char> generatorLetter = 'A';
  std::optional<int32_t> engineVersion = 1;
  std::optional<int32_t> engineRevision = 0;
  std::optional<char> engineLetter = 0;
  std::optional<int32_t> panelVersion = 1;
  std::optional<int32_t> panelRevision = 0;
  std::optional<char> panelLetter = 0;
  std::optional<int32_t> winceIncluded = 0;  // unset: no "WINCE INCLUDED: " line
  bool panel3950Support = false;
  std::vector<PackageFileSpec> files{};
  bool setCrc = true;                  // false: packageCrc 0, the package is not checked
  std::optional<int32_t> fileCount{};  // overrides the count written after "NUMBER OF FILES: "
};

// Where the parts of a built package lie.
struct PackageLayout {
  size_t tableOffset = 0;  // the first record
  std::vector<FILE_INFO_STRUCT> records{};
};

// Kinds 11, 12 and 14 are stored as they are; every other kind is zlib-compressed.
bool IsStoredKind(int32_t kind);

// The package's bytes. Throws std::runtime_error when zlib cannot compress a file.
std::string BuildPackage(const PackageSpec& spec, PackageLayout* layout = nullptr);

// Writes bytes to a file (a Windows path or a host path), replacing it. False when the file
// cannot be created or written.
bool WriteBytesToFile(Platform& platform, const std::string& path, const std::string& bytes);

}  // namespace cw
