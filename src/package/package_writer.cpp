#include "package/package_writer.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "platform/platform.h"
#include "rules/bhelper.h"

namespace cw {
namespace {

void PutInt32(std::string& out, int32_t value) {
  const uint32_t raw = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((raw >> shift) & 0xFF);
}

// A keyword line, its value, and the CR LF the header allows after a value (it keeps a value
// ending in a CR from swallowing the next keyword's first byte).
void PutIntValue(std::string& out, const char* keyword, const std::optional<int32_t>& value) {
  if (!value) return;
  out += keyword;
  out += "\r\n";
  PutInt32(out, *value);
  out += "\r\n";
}

void PutLetterValue(std::string& out, const char* keyword, const std::optional<char>& value) {
  if (!value) return;
  out += keyword;
  out += "\r\n";
  out += *value;
  out += "\r\n";
}

std::string Compress(const std::string& content) {
  uLongf size = compressBound(static_cast<uLong>(content.size()));
  std::string out(size, '\0');
  const int result = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                               reinterpret_cast<const Bytef*>(content.data()),
                               static_cast<uLong>(content.size()), Z_BEST_COMPRESSION);
  if (result != Z_OK) throw std::runtime_error("zlib could not compress a file");
  out.resize(size);
  return out;
}

uint32_t CrcOf(const std::string& bytes) {
  CBHelper helper;
  return CBHelper::BufferCRC(reinterpret_cast<const unsigned char*>(bytes.data()),
                             static_cast<uint32_t>(bytes.size()));
}

}  // namespace

bool IsStoredKind(int32_t kind) {
  return kind == kKindPanel3940Raw || kind == kKindPanel3950Raw || kind == kKindCommonRaw;
}

std::string BuildPackage(const PackageSpec& spec, PackageLayout* layout) {
  std::string out;
  PutInt32(out, 0);
  for (int32_t word : spec.headerWords) PutInt32(out, word);
  PutInt32(out, spec.releaseNumber);

  out += spec.title + "\r\n";
  PutIntValue(out, "FWP File Format Version: ", spec.formatVersion);
  PutIntValue(out, "FWP File Format Revision: ", spec.formatRevision);
  PutLetterValue(out, "FWP File Format Letter: ", spec.formatLetter);
  PutIntValue(out, "FWP File Generator Version: ", spec.generatorVersion);
  PutIntValue(out, "FWP File Generator Revision: ", spec.generatorRevision);
  PutLetterValue(out, "FWP File Generator Letter: ", spec.generatorLetter);
  PutIntValue(out, "Engine App Software Version: ", spec.engineVersion);
  PutIntValue(out, "Engine App Software Revision: ", spec.engineRevision);
  PutLetterValue(out, "Engine App Software Letter: ", spec.engineLetter);
  PutIntValue(out, "Panel Software Version: ", spec.panelVersion);
  PutIntValue(out, "Panel Software Revision: ", spec.panelRevision);
  PutLetterValue(out, "Panel Software Letter: ", spec.panelLetter);
  PutIntValue(out, "WINCE INCLUDED: ", spec.winceIncluded);
  if (spec.panel3950Support) out += "3950 PANEL SUPPORT\r\n";
  out += "NUMBER OF FILES: \r\n";
  PutInt32(out, spec.fileCount.value_or(static_cast<int32_t>(spec.files.size())));
  out += "\r\n\r\n";

  const size_t tableOffset = out.size();
  std::vector<std::string> stored;
  std::vector<FILE_INFO_STRUCT> records;
  size_t dataOffset = tableOffset + spec.files.size() * sizeof(FILE_INFO_STRUCT);
  for (const PackageFileSpec& file : spec.files) {
    stored.push_back(IsStoredKind(file.kind) ? file.content : Compress(file.content));
    FILE_INFO_STRUCT record{};
    SetFieldText(record.cardPath, file.cardPath);
    SetFieldText(record.checkPath, file.checkPath.empty() ? file.cardPath : file.checkPath);
    record.kind = file.kind;
    record.dataOffset = file.dataOffset.value_or(static_cast<int32_t>(dataOffset));
    record.storedSize = file.storedSize.value_or(static_cast<int32_t>(stored.back().size()));
    record.fileSize = file.fileSize.value_or(static_cast<int32_t>(file.content.size()));
    record.fileCrc = file.fileCrc.value_or(CrcOf(file.content));
    records.push_back(record);
    dataOffset += FieldText(record.cardPath).size() + stored.back().size();
  }
  for (const FILE_INFO_STRUCT& record : records) {
    out.append(reinterpret_cast<const char*>(&record), sizeof record);
  }
  for (size_t i = 0; i < records.size(); ++i) {
    out += FieldText(records[i].cardPath);
    out += stored[i];
  }

  if (spec.setCrc) {
    const uint32_t crc = CrcOf(out);  // the field is still zero
    std::string field;
    PutInt32(field, static_cast<int32_t>(crc));
    out.replace(0, 4, field);
  }
  if (layout) *layout = PackageLayout{tableOffset, records};
  return out;
}

bool WriteBytesToFile(Platform& platform, const std::string& path, const std::string& bytes) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::CreateAlways);
  if (!file) return false;
  const bool written = bytes.empty() || file->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return file->Close() && written;
}

}  // namespace cw
