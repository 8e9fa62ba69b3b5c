#include "package/version_block.h"

#include "record/job_context.h"
#include "record/job_io.h"
#include "record/prompt.h"
#include "log/log_to_file.h"
#include "platform/platform.h"

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

// The number formats are compared by, version × 1000 + revision, held within int32: values
// from a hostile header must not wrap around into an old, accepted format.
int32_t FormatNumber(int32_t version, int32_t revision) {
  const int64_t number = int64_t{version} * 1000 + revision;
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(number);
}

// printf with a %c that may be a zero byte: the line ends there, as the C string it was.
std::string CutAtZero(std::string text) {
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

}  // namespace

namespace {

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

// The version block lies at the head of the package, which may be hundreds of MiB: read a
// first part of the file and only when the parse ran into its end (long lines, a block that
// reaches further) read the whole file, so the result is always that of the whole file.
constexpr uint64_t kHeadBytes = 256 * 1024;

bool ReadHead(File& file, uint64_t bytes, Bytes* out) {
  if (!file.Seek(0, SeekFrom::Begin)) return false;
  out->resize(static_cast<size_t>(bytes));
  uint32_t got = 0;
  if (!file.Read(out->data(), static_cast<uint32_t>(bytes), &got) || got != bytes) return false;
  return true;
}

}  // namespace

VersionBlockRead ParseVersionBlock(const uint8_t* data, size_t size) {
  ByteReader reader(data, size);
  VersionBlockRead read = ParseWith(reader);
  read.reachedEnd = reader.ReachedEnd();
  return read;
}

std::string ComposeVersionText(const char* prefix, const VersionTriple& triple) {
  std::string text = Format("%s%d.%.3d", prefix, triple.version, triple.revision);
  const unsigned char letter = static_cast<unsigned char>(triple.letter);
  if (letter >= 'A' && letter < 128) text += triple.letter;
  return text;
}

VersionTexts ReadVersionBlock(const std::string& path, JobContext& job,
                              const std::string& engineBoxText, const std::string& panelBoxText) {
  auto log = [&job](const std::string& line) {
    if (job.log) job.log->Log(line);
  };
  VersionTexts texts{false, false, engineBoxText, panelBoxText};
  log("GetFWPVerRev");

  Bytes bytes;
  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::Read);
  uint64_t size = 0;
  VersionBlockRead read;
  bool readOk = file && file->GetSize(&size);
  if (readOk && size > kHeadBytes) {
    readOk = ReadHead(*file, kHeadBytes, &bytes);
    read = ParseVersionBlock(bytes);
  }
  if (readOk && (size <= kHeadBytes || read.reachedEnd)) {
    readOk = ReadWholeFile(*file, UINT64_MAX, &bytes);
    read = ParseVersionBlock(bytes);
  }
  if (!readOk) {
    if (job.prompt) {
      job.prompt->MessageBox("FWP file could not be opened!\r\n" + path, MessageButtons::Ok,
                             MessageIcon::None);
    }
    log("  could not open the fwp file: " + path);
    return texts;
  }
  texts.opened = true;

  log("  searching for fwp version information.");
  texts.found = read.found;
  VersionBlock& block = job.versionBlock;
  if (read.formatVersion) block.formatVersion = *read.formatVersion;
  if (read.formatRevision) block.formatRevision = *read.formatRevision;
  if (read.formatLetter) block.formatLetter = *read.formatLetter;
  if (read.formatVersion && read.formatRevision) {
    job.fwpVersion = FormatNumber(*read.formatVersion, *read.formatRevision);
  }
  if (read.generatorSearched) log("  searching for fwp file generator version.");
  if (read.generatorVersion) block.generatorVersion = *read.generatorVersion;
  if (read.generatorRevision) block.generatorRevision = *read.generatorRevision;
  if (read.generatorLetter) block.generatorLetter = *read.generatorLetter;
  if (read.engineSearched) log("  searching for engine app version.");
  if (read.engine) texts.engineText = ComposeVersionText(kEngineVersionPrefix, *read.engine);
  if (read.panelSearched) log("  searching for fwp panel version.");
  if (read.panel) texts.panelText = ComposeVersionText(kPanelVersionPrefix, *read.panel);
  if (read.truncated) log("  the fwp file ends inside its version block.");

  log("  ");
  log(CutAtZero(Format("  this fwp version is V%d.%d %c", block.formatVersion,
                       block.formatRevision, block.formatLetter)));
  log(CutAtZero(Format("  and was created by fwp generator V%d.%d %c", block.generatorVersion,
                       block.generatorRevision, block.generatorLetter)));
  log(texts.engineText);
  log(texts.panelText);
  return texts;
}

}  // namespace cw
