#include "package/version_block.h"

#include <memory>

#include "record/job_state.h"

namespace cw {
namespace {

constexpr int kFirstSearchLimit = 500;
constexpr int kSearchLimit = 50;

// Searches a keyword (the whole line, case-sensitive) and reads the value after it. When the
// keyword is not within the limit the value is read where the search stopped, as the header
// format has always done. False when the file ends inside the value.
template <typename T>
bool SearchAndRead(ByteReader& reader, const char* keyword, int limit, std::optional<T>* out) {
  reader.SearchLine(limit, [keyword](const std::string& line) { return line == keyword; });
  T value{};
  bool ok;
  if constexpr (sizeof(T) == 1) {
    ok = reader.ReadByte(&value);
  } else {
    ok = reader.ReadInt32(&value);
  }
  if (ok) *out = value;
  return ok;
}

bool ReadTriple(ByteReader& reader, const char* versionKeyword, int versionLimit,
                const char* revisionKeyword, const char* letterKeyword,
                std::optional<VersionTriple>* out) {
  std::optional<int32_t> version, revision;
  std::optional<char> letter;
  if (!SearchAndRead(reader, versionKeyword, versionLimit, &version) ||
      !SearchAndRead(reader, revisionKeyword, kSearchLimit, &revision) ||
      !SearchAndRead(reader, letterKeyword, kSearchLimit, &letter)) {
    return false;
  }
  *out = VersionTriple{*version, *revision, *letter};
  return true;
}

VersionBlockRead ParseWith(ByteReader& reader) {
  VersionBlockRead read;
  read.found = reader.SearchLine(kFirstSearchLimit, [](const std::string& line) {
    return line == "FWP File Format Version: ";
  });
  if (!read.found) return read;

  int32_t version;
  if (!reader.ReadInt32(&version)) {
    read.truncated = true;
    return read;
  }
  read.formatVersion = version;
  if (!SearchAndRead(reader, "FWP File Format Revision: ", kSearchLimit, &read.formatRevision) ||
      !SearchAndRead(reader, "FWP File Format Letter: ", kSearchLimit, &read.formatLetter)) {
    read.truncated = true;
    return read;
  }
  if (FormatNumber(*read.formatVersion, *read.formatRevision) >= 1008) {
    read.generatorSearched = true;
    if (!SearchAndRead(reader, "FWP File Generator Version: ", kSearchLimit,
                       &read.generatorVersion) ||
        !SearchAndRead(reader, "FWP File Generator Revision: ", kSearchLimit,
                       &read.generatorRevision) ||
        !SearchAndRead(reader, "FWP File Generator Letter: ", kSearchLimit,
                       &read.generatorLetter)) {
      read.truncated = true;
      return read;
    }
  }
  read.engineSearched = true;
  if (!ReadTriple(reader, "Engine App Software Version: ", kSearchLimit,
                  "Engine App Software Revision: ", "Engine App Software Letter: ",
                  &read.engine)) {
    read.truncated = true;
    return read;
  }
  read.panelSearched = true;
  if (!ReadTriple(reader, "Panel Software Version: ", kFirstSearchLimit,
                  "Panel Software Revision: ", "Panel Software Letter: ", &read.panel)) {
    read.truncated = true;
  }
  return read;
}

// The version block lies at the head of the package, which may be hundreds of MiB: a first part
// of the file is read, and the whole only when the parse ran into the part's end.
constexpr uint64_t kHeadBytes = 256 * 1024;

bool ReadHead(File& file, uint64_t bytes, Bytes* out) {
  if (!file.Seek(0, SeekFrom::Begin)) return false;
  out->resize(static_cast<size_t>(bytes));
  uint32_t got = 0;
  return file.Read(out->data(), static_cast<uint32_t>(bytes), &got) && got == bytes;
}

}  // namespace

VersionBlockRead ParseVersionBlock(const uint8_t* data, size_t size) {
  ByteReader reader(data, size);
  VersionBlockRead read = ParseWith(reader);
  read.reachedEnd = reader.ReachedEnd();
  return read;
}

bool ReadVersionBlockFile(Platform& platform, const std::string& path, VersionBlockRead* read) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  uint64_t size = 0;
  if (!file || !file->GetSize(&size)) return false;
  Bytes bytes;
  if (size > kHeadBytes) {
    if (!ReadHead(*file, kHeadBytes, &bytes)) return false;
    *read = ParseVersionBlock(bytes);
    if (!read->reachedEnd) return true;
  }
  if (!ReadWholeFile(*file, UINT64_MAX, &bytes)) return false;
  *read = ParseVersionBlock(bytes);
  return true;
}

PackageVersions PackageVersionsOf(Platform& platform, const std::string& path) {
  VersionBlockRead read;
  if (path.empty() || !ReadVersionBlockFile(platform, path, &read)) return {};
  return VersionsOf(read);
}

PackageVersions VersionsOf(const VersionBlockRead& read) {
  PackageVersions versions;
  VersionBlock& block = versions.versionBlock;
  block.formatVersion = read.formatVersion.value_or(0);
  block.formatRevision = read.formatRevision.value_or(0);
  block.formatLetter = read.formatLetter.value_or(0);
  block.generatorVersion = read.generatorVersion.value_or(0);
  block.generatorRevision = read.generatorRevision.value_or(0);
  block.generatorLetter = read.generatorLetter.value_or(0);
  if (read.formatVersion && read.formatRevision)
    versions.fwpVersion = FormatNumber(*read.formatVersion, *read.formatRevision);
  return versions;
}

int32_t FormatNumber(int32_t version, int32_t revision) {
  const int64_t number = int64_t{version} * 1000 + revision;
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(number);
}

std::string ComposeVersionText(const char* prefix, const VersionTriple& triple) {
  std::string text = Format("%s%d.%.3d", prefix, triple.version, triple.revision);
  const unsigned char letter = static_cast<unsigned char>(triple.letter);
  if (letter >= 'A' && letter < 128) text += triple.letter;
  return text;
}

}  // namespace cw
