#include "package/package_parser.h"

#include <cstring>

#include "package/card_path.h"
#include "platform/text.h"
#include "rules/bhelper.h"

namespace cw {

bool ParsePackageHeader(const uint8_t* data, size_t size, PackageHeader* header,
                        std::string* message) {
  *header = PackageHeader{};
  ByteReader reader(data, size);
  bool ok = reader.ReadUInt32(&header->packageCrc);
  for (int32_t& word : header->headerWords) ok = ok && reader.ReadInt32(&word);
  ok = ok && reader.ReadInt32(&header->releaseNumber);
  if (!ok) {
    *message = kMsgEndsInHeader;
    return false;
  }
  header->prefixRead = true;

  if (!reader.SearchLine(kHeaderSearchLimit, [](const std::string& line) {
        return Contains(ToUpperAscii(line), "WINCE INCLUDED: ");
      })) {
    *message = kMsgNoWinceLine;
    return false;
  }
  if (!reader.ReadInt32(&header->winceIncluded)) {
    *message = kMsgEndsInHeader;
    return false;
  }
  header->winceRead = true;

  if (!reader.SearchLine(kHeaderSearchLimit, [header](const std::string& line) {
        const std::string upper = ToUpperAscii(line);
        if (Contains(upper, "3950 PANEL SUPPORT")) header->has3950Support = true;
        return Contains(upper, "NUMBER OF FILES: ");
      })) {
    *message = kMsgNoFileCount;
    return false;
  }
  if (!reader.ReadInt32(&header->fileCount)) {
    *message = kMsgEndsInHeader;
    return false;
  }
  reader.ReadLine();
  reader.ReadLine();
  header->tableOffset = reader.position();
  // Checked before any record is read, so a lying count costs nothing.
  if (header->fileCount > 0 &&
      static_cast<uint64_t>(header->fileCount) > reader.remaining() / sizeof(FILE_INFO_STRUCT)) {
    *message = kMsgEndsInTable;
    return false;
  }
  return true;
}

FILE_INFO_STRUCT PackageRecord(const uint8_t* data, const PackageHeader& header, int32_t index) {
  FILE_INFO_STRUCT record;
  std::memcpy(&record, data + header.tableOffset + size_t(index) * sizeof(FILE_INFO_STRUCT),
              sizeof record);
  return record;
}

std::string CheckPackageRecord(const FILE_INFO_STRUCT& record, size_t packageSize) {
  const std::string cardPath = FieldText(record.cardPath);
  if (!CardPathIsSafe(cardPath)) return kMsgUnsafePath + cardPath + "\r\n";
  const bool sizesOk = record.dataOffset >= 0 && record.storedSize >= 0 && record.fileSize >= 0;
  if (!sizesOk || uint64_t(record.dataOffset) + cardPath.size() + uint64_t(record.storedSize) >
                      packageSize) {
    return kMsgBadRecord + cardPath + "\r\n";
  }
  return "";
}

uint32_t PackageCrcOf(uint8_t* data, size_t size) {
  CBHelper helper;
  uint8_t field[4] = {0, 0, 0, 0};
  const size_t fieldSize = size < 4 ? size : 4;
  std::memcpy(field, data, fieldSize);
  std::memset(data, 0, fieldSize);
  const uint32_t crc = CBHelper::BufferCRC(data, static_cast<uint32_t>(size));
  std::memcpy(data, field, fieldSize);
  return crc;
}

}  // namespace cw
