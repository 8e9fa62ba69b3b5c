#include "package/extraction.h"

#include <zlib.h>

#include <algorithm>
#include <span>
#include <unordered_set>

#include "card/file_status.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "package/byte_reader.h"
#include "package/file_table.h"
#include "package/package_writer.h"
#include "package/stored_package_record.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/file_rules.h"

namespace cw {
namespace {

// Deflate never packs more than 258 bytes into 2 bits, so no stream of n bytes inflates to
// more than 1032 × n. A record that claims more cannot be right and gets no buffer of that size.
constexpr int64_t kMaxInflateRatio = 1032;

void Fail(JobState& state, const std::string& box, const std::string& diagnostics,
          const std::string& logLine) {
  state.ShowMessage(box, MessageButtons::Ok, MessageIcon::Exclamation);
  state.AppendDiagnostics(diagnostics);
  state.Log(logLine);
}

void FailLocate(JobState& state, const std::string& name) {
  const std::string box = "Failed to locate compressed data for \r\n" + name;
  Fail(state, box, box + "\r\n", "Failed to locate compressed data for " + name);
}

void FailNoMemory(JobState& state, const std::string& name) {
  const std::string text = "Not enough memory to extract\r\n" + name + "\r\n";
  Fail(state, text, text, text);
}

// The three zlib calls fail with one box; only the log line tells which call it was.
enum class InflateStep { kInit, kInflate, kEnd };

void FailInflate(JobState& state, InflateStep step, int code, const std::string& name) {
  const std::string box = Format("Reinflate Init Failed: %d\r\n", code) + name + "\r\n";
  std::string logLine;
  switch (step) {
    case InflateStep::kInit: logLine = Format("Reinflate Init Failed: %d .", code) + name; break;
    case InflateStep::kInflate: logLine = Format("Reinflate Init Failed: %d. ", code) + name; break;
    case InflateStep::kEnd: logLine = Format("Reinflate Init Failed: %d %s", code, name.c_str()); break;
  }
  Fail(state, box, box, logLine);
}

void FailStorage(JobState& state, const std::string& path, const char* what) {
  const std::string text = path + "\r\ncould not be opened " + what + ".\r\n";
  Fail(state, text, text, text);
}

// Inflates one whole zlib stream into exactly `out.size()` bytes. The stream must end, and end
// exactly at the buffer's end: a stream that runs short, runs over or never ends fails, and
// zlib never writes past the buffer it is given.
bool Inflate(JobState& state, std::span<const uint8_t> stored, std::span<uint8_t> out,
             const std::string& name) {
  uint8_t none = 0;  // zlib refuses null buffers, even empty ones
  z_stream stream{};
  stream.next_in = stored.empty() ? &none : const_cast<uint8_t*>(stored.data());
  stream.avail_in = static_cast<uInt>(stored.size());
  int result = inflateInit_(&stream, "1.2.3", sizeof(z_stream));
  if (result < 0) {
    FailInflate(state, InflateStep::kInit, result, name);
    return false;
  }
  stream.next_out = out.empty() ? &none : out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  for (;;) {
    const uInt inBefore = stream.avail_in, outBefore = stream.avail_out;
    result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) break;
    if (result == Z_OK && (stream.avail_in != inBefore || stream.avail_out != outBefore)) continue;
    // No progress: the input is used up or the buffer is full before the stream's end.
    if (result >= 0) result = Z_BUF_ERROR;
    inflateEnd(&stream);
    FailInflate(state, InflateStep::kInflate, result, name);
    return false;
  }
  // A stream that ends early would leave a short file that only verification could catch.
  const bool complete = stream.total_out == out.size();
  result = inflateEnd(&stream);
  if (result < 0) {
    FailInflate(state, InflateStep::kEnd, result, name);
    return false;
  }
  if (!complete) {
    FailInflate(state, InflateStep::kInflate, Z_DATA_ERROR, name);
    return false;
  }
  return true;
}

// Creates the folders of a card path that do not exist yet. Prefixes are the empty text and the
// text before each backslash after the first character; a failure shows up later as a failure
// to create the file. `found` holds the prefixes already seen to match something: extraction
// only adds files, so they keep matching, and listing a folder again for each of its files
// would cost time that grows with the square of its size.
void CreateMissingFolders(JobState& state, const std::string& path,
                          std::unordered_set<std::string>& found) {
  std::vector<std::string> prefixes{""};
  for (size_t at = path.find('\\', 1); at != std::string::npos; at = path.find('\\', at + 1)) {
    prefixes.push_back(path.substr(0, at));
  }
  for (const std::string& prefix : prefixes) {
    if (found.contains(prefix)) continue;
    const std::string pattern = prefix + "\\*.*";
    std::vector<FindEntry> matches;
    if (state.platform.FindFiles(pattern, &matches) && !matches.empty()) {
      found.insert(prefix);
      continue;
    }
    state.LogF("    creating directory %s", pattern.c_str());
    if (!state.platform.CreateDirectory(prefix))
      state.LogF("      failed.  Status = %d", int(GetLastError()));
  }
}

// A file that could not be written whole is removed again: a partial file would hold clusters
// the restore needs, and would stay behind on a card that is otherwise put back. A file already
// there may be hidden, system or read-only when no backup step cleared it: Windows refuses to
// replace such a file.
bool WriteCardFile(JobState& state, const std::string& path, std::span<const uint8_t> content) {
  ClearProtectionBeforeWrite(state.platform, state, path);
  std::unique_ptr<File> file = state.platform.OpenFile(path, OpenMode::CreateAlways);
  if (!file) return false;
  const bool written =
      content.empty() || file->Write(content.data(), static_cast<uint32_t>(content.size()));
  const bool closed = file->Close();
  if (written && closed) return true;
  file.reset();
  const uint32_t error = GetLastError();
  state.platform.DeleteFile(path);
  SetLastError(error);
  return false;
}

// What one relevant record comes to: written, skipped (a second ZLIBCE.DLL) or failed.
enum class Outcome { kWritten, kSkipped, kFailed };

// What one Decompress call carries from record to record.
struct ExtractionState {
  bool zlibceWritten = false;
  std::unordered_set<std::string> foundFolders;
  // Inflated content, kept from file to file: the package's buffer, made large enough before
  // the card changed, or grown here for a step that did not reserve it.
  Bytes& inflated;
  // The package's bytes, which every record's data is found in.
  const Bytes& packageData;
};

Outcome ExtractRecord(JobState& state, const FILE_INFO_STRUCT& record,
                      ExtractionState& progress) {
  const std::string name = FieldText(record.cardPath);
  // A view into the package's bytes: the stored data are not copied.
  std::span<const uint8_t> stored;
  if (!FindRecordData(progress.packageData, record, &stored)) {
    FailLocate(state, name);
    return Outcome::kFailed;
  }

  if (IsStoredKind(record.kind)) {
    const std::string path = state.globalFlashPath + "\\" +
                             (record.kind == kKindCommonRaw && state.targetType == kTargetEngine
                                  ? (state.Log("GetFilenameNoPath"), GetFilenameNoPath(name))
                                  : name);
    CreateMissingFolders(state, path, progress.foundFolders);
    state.LogF("    writing %s", path.c_str());
    if (!WriteCardFile(state, path, stored)) {
      FailStorage(state, path, "for storage");
      return Outcome::kFailed;
    }
    return Outcome::kWritten;
  }

  if (record.fileSize < 0 || record.fileSize > kMaxInflateRatio * record.storedSize) {
    FailInflate(state, InflateStep::kInflate, Z_BUF_ERROR, name);
    return Outcome::kFailed;
  }
  const size_t size = static_cast<size_t>(record.fileSize);
  if (progress.inflated.size() < size && !AllocateBytes(&progress.inflated, size)) {
    FailNoMemory(state, name);
    return Outcome::kFailed;
  }
  const std::span<uint8_t> content(progress.inflated.data(), size);
  if (!Inflate(state, stored, content, name)) return Outcome::kFailed;

  std::string path = ToUpperAscii(state.globalFlashPath + "\\" + name);
  if (state.targetType == kTargetEngine && Contains(path, "ZLIBCE.DLL")) {
    // One copy at the card's root, from the first such record.
    if (progress.zlibceWritten) return Outcome::kSkipped;
    path = state.globalFlashPath + "\\ZLIBCE.DLL";
    progress.zlibceWritten = true;
  }
  CreateMissingFolders(state, path, progress.foundFolders);
  if (!WriteCardFile(state, path, content)) {
    FailStorage(state, path, "after decompression");
    return Outcome::kFailed;
  }
  return Outcome::kWritten;
}

}  // namespace

bool ReserveExtraction(JobState& state, LoadedPackage& package) {
  uint64_t largest = 0;
  for (const FILE_INFO_STRUCT& record : package.fileTable) {
    if (IsStoredKind(record.kind) || !FileIsRelevant(state, state.targetType, record)) continue;
    // A size extraction refuses on its own is no reason to refuse here.
    if (record.fileSize < 0 || record.fileSize > kMaxInflateRatio * record.storedSize) continue;
    largest = std::max(largest, static_cast<uint64_t>(record.fileSize));
  }
  if (package.inflateBuffer.size() >= largest) return true;
  if (AllocateBytes(&package.inflateBuffer, largest)) return true;
  state.LogF("  no memory for a file of %llu bytes beside the package.",
             static_cast<unsigned long long>(largest));
  return false;
}

bool Decompress(JobState& state, LoadedPackage& package) {
  state.Log("Decompress");
  const int32_t n = static_cast<int32_t>(package.fileTable.size());
  state.SetProgressRange(0, n);

  state.Log("    opening master FWP file.");
  if (!HoldPackageBytes(state.platform, state.globalFWPDataFilePath, package)) return false;
  state.LogF("    %d files to decompress.", n);

  ExtractionState progress{.zlibceWritten = false,
                           .foundFolders = {},
                           .inflated = package.inflateBuffer,
                           .packageData = package.packageData};
  // Nothing after extraction inflates: its buffer goes when it ends, however it ends.
  struct Release {
    Bytes& buffer;
    ~Release() { buffer = Bytes(); }
  } release{package.inflateBuffer};
  state.StartPhaseAmounts(kProgressExtraction, n, FileTableBytes(package.fileTable));
  for (int32_t i = 0; i < n; ++i) {
    state.StopIfRequested();
    state.SetProgressPos(i);
    const FILE_INFO_STRUCT& record = package.fileTable[static_cast<size_t>(i)];
    const uint64_t recordBytes = record.fileSize > 0 ? static_cast<uint64_t>(record.fileSize) : 0;
    if (!FileIsRelevant(state, state.targetType, record)) {
      state.CountFileDone(recordBytes);
      continue;
    }
    state.SetStatus(Format("%d Files stored", state.filesStored));
    switch (ExtractRecord(state, record, progress)) {
      case Outcome::kWritten: ++state.filesStored; break;
      case Outcome::kSkipped: break;
      case Outcome::kFailed: return false;
    }
    state.CountFileDone(recordBytes);
  }
  return true;
}

}  // namespace cw
