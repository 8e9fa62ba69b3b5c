#pragma once
// The package's version block: the keyword lines that give the format, generator, engine and
// panel versions, and the texts the front ends show for the engine and panel versions.

#include <cstdint>
#include <optional>
#include <string>

#include "package/byte_reader.h"
#include "platform/platform.h"
#include "record/package_versions.h"

namespace cw {

// A version, revision and letter as the header keeps them.
struct VersionTriple {
  int32_t version = 0;
  int32_t revision = 0;
  char letter = 0;
};

// What one pass over the version block found. A value is set only when it was read in full;
// the read stops at the first value that the file ends inside (`truncated`).
struct VersionBlockRead {
  bool found = false;      // "FWP File Format Version: " within the first 500 lines
  bool truncated = false;  // the file ended inside a value; later values were not read
  std::optional<int32_t> formatVersion;
  std::optional<int32_t> formatRevision;
  std::optional<char> formatLetter;
  bool generatorSearched = false;  // only from format 1.008 on
  std::optional<int32_t> generatorVersion;
  std::optional<int32_t> generatorRevision;
  std::optional<char> generatorLetter;
  bool engineSearched = false;
  std::optional<VersionTriple> engine;  // all three values read
  bool panelSearched = false;
  std::optional<VersionTriple> panel;
  bool reachedEnd = false;  // the read looked at the end of the bytes it was given
};

// Reads the version block from a whole package in memory, from its first byte (so the binary
// prefix runs into the first header line).
VersionBlockRead ParseVersionBlock(const uint8_t* data, size_t size);
inline VersionBlockRead ParseVersionBlock(const Bytes& bytes) {
  return ParseVersionBlock(bytes.data(), bytes.size());
}

// Reads the version block of the package file at `path`: its head, and the whole file only when
// the block reaches past the head, so the result is always that of the whole file. False when
// the file cannot be opened or read.
bool ReadVersionBlockFile(Platform& platform, const std::string& path, VersionBlockRead* read);

// The values a job writes, records and checks, from one package's version block: each 0 where
// the header gives none, never those of another package.
PackageVersions VersionsOf(const VersionBlockRead& read);
// The same of the package file at `path` (all 0 when it cannot be read).
PackageVersions PackageVersionsOf(Platform& platform, const std::string& path);

inline constexpr const char* kEngineVersionPrefix = "Engine Software Version: ";
inline constexpr const char* kPanelVersionPrefix = "Panel Software Version: ";

// "2.015B": the version, ".", the revision with at least three digits, and the letter only when
// it is 'A' (65) or above and below 128.
std::string ComposeVersionText(const char* prefix, const VersionTriple& triple);

// The number formats are compared by, version × 1000 + revision, held within int32: values
// from a hostile header must not wrap around into an old, accepted format.
int32_t FormatNumber(int32_t version, int32_t revision);

}  // namespace cw
