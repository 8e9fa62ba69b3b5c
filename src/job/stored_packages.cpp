#include "job/stored_packages.h"

#include <memory>
#include <span>

#include "card/file_status.h"
#include "package/package_parser.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "package/byte_reader.h"
#include "package/stored_package_record.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/bhelper.h"
#include "rules/file_rules.h"

namespace cw {
namespace {

constexpr int kHeaderLineLimit = 500;
constexpr const char* kBlockEnd = "\r\n\r\n";

void Show(JobState& state, const std::string& text, MessageIcon icon) {
  state.ShowMessage(text, MessageButtons::Ok, icon);
}

bool WriteText(File& file, const std::string& text) {
  return text.empty() || file.Write(text.data(), static_cast<uint32_t>(text.size()));
}

// The three temporary files of one call, in the data folder; closed and deleted on every way
// out, whatever the outcome.
struct TempFiles {
  TempFiles(Platform& platform, const std::string& folder)
      : platform(platform),
        path3940(folder + "\\TempFWP3940.dat"),
        path3950(folder + "\\TempFWP3950.dat"),
        headerPath(folder + "\\TempHeader.txt") {}
  ~TempFiles() {
    for (std::unique_ptr<File>* file : {&data3940, &data3950, &header}) {
      if (*file) (*file)->Close();
      file->reset();
    }
    for (const std::string* path : {&path3940, &path3950, &headerPath}) platform.DeleteFile(*path);
  }
  Platform& platform;
  std::string path3940, path3950, headerPath;
  std::unique_ptr<File> data3940, data3950, header;
};

enum class HeaderResult { kDone, kNoEnd, kWriteFailed };

// The package's header lines from offset 32 up to and including the "NUMBER OF FILES: " line.
// Lines naming a version or revision keep their 4-byte value (and a CR LF after it); every other
// line is plain text, so a value after any other keyword becomes a line of its own.
HeaderResult RewriteHeader(const Bytes& package, File& out) {
  ByteReader reader(package, 32);
  std::string text;
  for (int lines = 0; lines < kHeaderLineLimit; ++lines) {
    const std::string line = reader.ReadLine();
    const std::string upper = ToUpperAscii(line);
    text += line + "\r\n";
    if (upper == "NUMBER OF FILES: ") {
      return WriteText(out, text) ? HeaderResult::kDone : HeaderResult::kWriteFailed;
    }
    if (Contains(upper, "REVISION: ") || Contains(upper, "VERSION: ")) {
      char value[4];
      // A header that ends inside a value has no end either.
      if (!reader.ReadBytes(value, sizeof value)) return HeaderResult::kNoEnd;
      text.append(value, sizeof value);
      text += "\r\n";
    }
  }
  return HeaderResult::kNoEnd;
}

// Appends a record's block (name stamp, data, CR LF CR LF) to a temporary data file and a copy
// of the record, pointing at the block, to the copy's table.
bool AppendBlock(File& data, int64_t& length, FILE_INFO_STRUCT record,
                 std::span<const uint8_t> stored,
                 std::vector<FILE_INFO_STRUCT>& table) {
  const std::string stamp = FieldText(record.cardPath);
  if (length > int64_t(kMaxPackageBytes)) return false;
  record.dataOffset = static_cast<int32_t>(length);
  const bool written = WriteText(data, stamp) &&
                       (stored.empty() ||
                        data.Write(stored.data(), static_cast<uint32_t>(stored.size()))) &&
                       WriteText(data, kBlockEnd);
  if (!written) return false;
  length += int64_t(stamp.size() + stored.size() + 4);
  table.push_back(record);
  return true;
}

void CountCopy(JobState& state) {
  ++state.filesStored;
  state.SetStatus(Format("%d Files stored", state.filesStored));
}

}  // namespace

bool CreateNewFWPFile(JobState& state, const LoadedPackage& package, File& header, File& data,
                      const std::string& path, std::vector<FILE_INFO_STRUCT>& table) {
  state.Log("CreateNewFWPFile");
  // The copy of an earlier store may be protected; Windows would refuse to replace it.
  ClearProtectionBeforeWrite(state.platform, state, path);
  std::unique_ptr<File> out = state.platform.OpenFile(path, OpenMode::CreateAlways);
  if (!out) {
    state.Log("GetFilenameNoPath");
    Show(state, "Could not open FWP file\r\n" + GetFilenameNoPath(path), MessageIcon::Exclamation);
    return false;
  }
  // The CRC field stays zero until the CRC of the finished copy is known.
  std::string head = LittleEndianBytes(0);
  for (int32_t word : package.headerWords) head += LittleEndianBytes(static_cast<uint32_t>(word));
  head += LittleEndianBytes(static_cast<uint32_t>(package.releaseNumber));
  Bytes headerText;
  if (!ReadWholeFile(header, kMaxPackageBytes, &headerText)) return false;
  head.append(headerText.begin(), headerText.end());
  head += LittleEndianBytes(static_cast<uint32_t>(table.size()));
  head += kBlockEnd;

  // Offsets in the data file become offsets in the copy, behind the table and its CR LF CR LF.
  const int64_t base = int64_t(head.size()) + int64_t(sizeof(FILE_INFO_STRUCT) * table.size()) + 4;
  for (const FILE_INFO_STRUCT& record : table) {
    if (base + record.dataOffset > int64_t(kMaxPackageBytes)) return false;
  }
  for (FILE_INFO_STRUCT& record : table) record.dataOffset += static_cast<int32_t>(base);
  for (const FILE_INFO_STRUCT& record : table) {
    head.append(reinterpret_cast<const char*>(&record), sizeof record);
  }
  head += kBlockEnd;
  if (!WriteText(*out, head)) return false;

  uint64_t dataSize = 0;
  if (!data.GetSize(&dataSize) || dataSize > kMaxPackageBytes) return false;
  Bytes blocks;
  if (!AllocateBytes(&blocks, dataSize)) {
    Show(state, "malloc failed", MessageIcon::Exclamation);
    return false;
  }
  const bool copied = data.Seek(0, SeekFrom::Begin) &&
                      ReadExactly(data, blocks.data(), blocks.size()) &&
                      (blocks.empty() ||
                       out->Write(blocks.data(), static_cast<uint32_t>(blocks.size())));
  if (!copied || !out->Flush()) return false;
  blocks = Bytes();

  // The CRC of the copy as it stands on the medium, read through a second handle. A copy that
  // cannot be read back is a failed store: stamped 0 it would pass as "not checked".
  const std::optional<uint32_t> crc = CBHelper::ReadFileCRC(state.platform, state, path);
  if (!crc) {
    state.Log("  could not read back the stored copy's CRC: " + path);
    out->Close();
    return false;
  }
  const bool stamped = out->Seek(0, SeekFrom::Begin) && WriteText(*out, LittleEndianBytes(*crc));
  return out->Close() && stamped;
}

bool WriteStoredPackages(JobState& state, LoadedPackage& package, const std::string& dataPath) {
  package.split3940Table.clear();
  package.split3950Table.clear();

  if (!HoldPackageBytes(state.platform, state.globalFWPDataFilePath, package)) {
    Show(state, "Could not open Master file!", MessageIcon::Exclamation);
    return false;
  }
  const Bytes& bytes = package.packageData;

  TempFiles temp(state.platform, dataPath);
  temp.data3940 = state.platform.OpenFile(temp.path3940, OpenMode::CreateAlways);
  if (temp.data3940) temp.data3950 = state.platform.OpenFile(temp.path3950, OpenMode::CreateAlways);
  if (!temp.data3940 || !temp.data3950) {
    Show(state, "Could not open split FWP file!", MessageIcon::Exclamation);
    return false;
  }
  temp.header = state.platform.OpenFile(temp.headerPath, OpenMode::CreateAlways);
  if (!temp.header) {
    Show(state, "Could not open Temp Header file!", MessageIcon::Exclamation);
    return false;
  }

  switch (RewriteHeader(bytes, *temp.header)) {
    case HeaderResult::kDone: break;
    case HeaderResult::kNoEnd:
      Show(state, "End of header not found!", MessageIcon::Exclamation);
      return false;
    case HeaderResult::kWriteFailed:
      Show(state, "Could not open Temp Header file!", MessageIcon::Exclamation);
      return false;
  }
  int64_t length3940 = 0, length3950 = 0;
  for (const FILE_INFO_STRUCT& record : package.fileTable) {
    std::span<const uint8_t> stored;
    if (!FindRecordData(bytes, record, &stored)) {
      Show(state, "Data location not found for\r\n" + FieldText(record.cardPath),
           MessageIcon::None);
      return false;
    }
    const bool appended =
        (!InStoredCopy(StoredCopy::kHalf3940, record.kind) ||
         AppendBlock(*temp.data3940, length3940, record, stored, package.split3940Table)) &&
        (!InStoredCopy(StoredCopy::kHalf3950, record.kind) ||
         AppendBlock(*temp.data3950, length3950, record, stored, package.split3950Table));
    if (!appended) {
      Show(state, "Could not open split FWP file!", MessageIcon::Exclamation);
      return false;
    }
  }

  // The package's last use in the job: each copy is put together from its temporary files.
  package.packageData = Bytes();

  struct Copy {
    File* data;
    const char* name;
    std::vector<FILE_INFO_STRUCT>* table;
  };
  const Copy copies[] = {{temp.data3940.get(), "\\UPGRADE.FWP", &package.split3940Table},
                         {temp.data3950.get(), "\\FWP_3950.FWP", &package.split3950Table}};
  for (const Copy& copy : copies) {
    CountCopy(state);
    const std::string path = state.globalFlashPath + copy.name;
    if (!CreateNewFWPFile(state, package, *temp.header, *copy.data, path, *copy.table)) {
      Show(state, "Failed to create FWP\r\n" + path, MessageIcon::None);
      return false;
    }
  }
  return true;
}

}  // namespace cw
