#include "verify/crc_list.h"

#include <string_view>
#include <vector>

#include "record/job_io.h"
#include "record/job_state.h"
#include "package/card_path.h"
#include "package/file_table.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/file_rules.h"

namespace cw {
namespace {

bool ReadList(Platform& platform, const std::string& path, Bytes* bytes) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  return file && ReadWholeFile(*file, UINT32_MAX, bytes);
}

bool IsPanelKind(int32_t kind) {
  return kind == kKindPanel3940 || kind == kKindPanel3950 || kind == kKindPanel3940Raw ||
         kind == kKindPanel3950Raw;
}

}  // namespace

std::string CRCListPathFor(JobState& state, int32_t target) {
  return state.globalFlashPath + (target == kTargetPanel3940 ? kCRCList3940 : kCRCList3950);
}

bool LoadArrayFromCRCFile(JobState& state, const std::string& path,
                          std::vector<FILE_INFO_STRUCT>& fileTable) {
  state.Log("LoadArrayFromCRCFile");
  Bytes bytes;
  if (!ReadList(state.platform, path, &bytes)) {
    state.ShowAndRecord(kMsgCRCListNotOpened, MessageIcon::Exclamation);
    return false;
  }
  const int32_t kind = state.targetType == kTargetPanel3940   ? kKindPanel3940
                       : state.targetType == kTargetPanel3950 ? kKindPanel3950
                                                              : 0;
  std::vector<FILE_INFO_STRUCT> records;
  const char* const data = reinterpret_cast<const char*>(bytes.data());
  const std::string_view text(data, bytes.size());
  // The count and the first two line breaks are not interpreted.
  for (size_t cursor = 8;;) {
    // The end marker ends the list; whatever follows it (a saved list's CR LF) is not read.
    if (cursor < text.size() && text[cursor] == '\xFF') break;
    const size_t lineEnd = text.find("\r\n", cursor);
    if (lineEnd == std::string_view::npos) {
      // Only the end marker may follow the last entry: anything else is a list cut short,
      // whose lost entries would otherwise go unchecked.
      state.ShowAndRecord(kMsgCRCListDamaged, MessageIcon::Exclamation);
      return false;
    }
    std::string entryPath = ToUpperAscii(std::string(text.substr(cursor, lineEnd - cursor)));
    uint32_t crc = 0;
    const bool haveCrc = ByteReader(bytes, lineEnd + 2).ReadUInt32(&crc);
    if (!haveCrc) {
      state.ShowAndRecord(kMsgCRCListDamaged, MessageIcon::Exclamation);
      return false;
    }
    // Jump over the line break, the CRC and the gap, whatever bytes the CRC holds.
    cursor = lineEnd + 10;
    if (FileIsCRCExempt(entryPath)) continue;
    FILE_INFO_STRUCT record{};
    SetFieldText(record.cardPath, ReplaceAll(entryPath, "\\HARDDISK\\", ""));
    const std::string cardPath = FieldText(record.cardPath);
    if (!CardPathIsSafe(cardPath)) {
      state.ShowAndRecord(kMsgCRCListUnsafePath + cardPath + "\r\n", MessageIcon::Exclamation);
      return false;
    }
    record.fileCrc = crc;
    record.kind = kind;
    records.push_back(record);
  }
  fileTable.insert(fileTable.end(), records.begin(), records.end());
  return true;
}

bool VerifyCRCFile(JobState& state, const std::vector<FILE_INFO_STRUCT>& fileTable) {
  state.Log("VerifyCRCFile");
  Bytes bytes;
  if (!ReadList(state.platform, CRCListPathFor(state, state.targetType), &bytes)) {
    state.ShowMessage("CRC information not found!", MessageButtons::Ok, MessageIcon::Exclamation);
    return false;
  }
  const size_t count = fileTable.size();
  if (count <= 1) return true;
  ByteReader reader(bytes);
  // The last record is not checked: it is the list itself, which cannot hold its own CRC.
  for (size_t i = 0; i + 1 < count; ++i) {
    const FILE_INFO_STRUCT& record = fileTable[i];
    if (!IsPanelKind(record.kind)) continue;
    // One forward pass: each record's entry is searched for from where the one before was
    // found, on through the list (each entry takes three lines), up to the end marker.
    const std::string wanted = ToUpperAscii(FieldText(record.cardPath));
    bool found = false;
    while (!found && !reader.AtEnd()) {
      const std::string line = ToUpperAscii(reader.ReadLine());
      if (line == "\xFF") return false;
      found = line == wanted;
    }
    if (!found) return false;
    uint32_t crc = 0;
    if (!reader.ReadUInt32(&crc) || crc != record.fileCrc) return false;
  }
  return true;
}

OSImageEntry FindOSImageCRC(const uint8_t* data, size_t size) {
  OSImageEntry entry;
  ByteReader reader(data, size);
  uint32_t left = 0;
  if (!reader.ReadUInt32(&left) || left == 0) {
    entry.outcome = OSImageSearch::kEmptyList;
    return entry;
  }
  for (;;) {
    reader.ReadLine();
    reader.ReadLine();
    const std::string path = ToUpperAscii(reader.ReadLine());
    uint32_t crc = 0;
    if (!reader.ReadUInt32(&crc) || --left == 0) return entry;
    if ((Contains(path, "NK.BIN") || Contains(path, "NK.NBG")) && CardPathIsSafe(path)) {
      return OSImageEntry{OSImageSearch::kFound, path, crc};
    }
  }
}

OSImageEntry FindOSImageCRC(File& list) {
  Bytes bytes;
  if (!ReadWholeFile(list, UINT32_MAX, &bytes)) return OSImageEntry{};
  return FindOSImageCRC(bytes.data(), bytes.size());
}

}  // namespace cw
