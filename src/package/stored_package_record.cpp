#include "package/stored_package_record.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <set>
#include <tuple>

#include "package/package_parser.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/file_rules.h"

namespace cw {

bool ReadExactly(File& file, void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    const size_t left = size - done;
    const uint32_t chunk = left > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(left);
    uint32_t got = 0;
    if (!file.Read(out + done, chunk, &got) || got == 0) return false;
    done += got;
  }
  return true;
}

void ReleasePackageBytes(LoadedPackage& package) {
  package.packageData = Bytes();
  package.inflateBuffer = Bytes();
}

bool FindRecordData(std::span<const uint8_t> package, const FILE_INFO_STRUCT& record,
                    std::span<const uint8_t>* data) {
  const std::string stamp = FieldText(record.cardPath);
  if (record.dataOffset < 0 || record.storedSize < 0 ||
      uint64_t(record.dataOffset) + stamp.size() + uint64_t(record.storedSize) > package.size()) {
    return false;
  }
  const std::span<const uint8_t> found = package.subspan(size_t(record.dataOffset), stamp.size());
  if (!std::equal(found.begin(), found.end(), stamp.begin(), stamp.end(),
                  [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); })) {
    return false;
  }
  *data = package.subspan(size_t(record.dataOffset) + stamp.size(), size_t(record.storedSize));
  return true;
}

bool HoldPackageBytes(Platform& platform, const std::string& path, LoadedPackage& package) {
  if (!package.packageData.empty()) return true;
  std::unique_ptr<File> packageFile = platform.OpenFile(path, OpenMode::Read);
  if (!packageFile) return false;
  const bool read = ReadWholeFile(*packageFile, kMaxPackageBytes, &package.packageData);
  packageFile->Close();
  return read;
}

std::string LittleEndianBytes(uint32_t value) {
  std::string out;
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
  return out;
}

bool InStoredCopy(StoredCopy copy, int32_t kind) {
  switch (copy) {
    case StoredCopy::kHalf3940:
      return kind != kKindPanel3950 && kind != kKindPanel3950Raw && kind != kKindCommonRaw;
    case StoredCopy::kHalf3950:
      return kind != kKindPanel3940 && kind != kKindPanel3940Raw && kind != kKindCommonRaw;
    case StoredCopy::kWhole:
      break;
  }
  return true;
}

bool StoredCopyMadeFrom(const Bytes& copy, const std::vector<FILE_INFO_STRUCT>& table,
                        StoredCopy part) {
  using Key = std::tuple<std::string, int32_t, uint32_t>;
  const auto key = [](const FILE_INFO_STRUCT& record) {
    return Key{ToUpperAscii(FieldText(record.cardPath)), record.kind, record.fileCrc};
  };
  const auto exempt = [](const FILE_INFO_STRUCT& record) {
    return FileIsCRCExempt(ToUpperAscii(FieldText(record.checkPath)));
  };
  PackageHeader header;
  std::string message;
  if (!ParsePackageHeader(copy.data(), copy.size(), &header, &message)) return false;
  std::multiset<Key> held, expected;
  for (int32_t i = 0; i < header.fileCount; ++i) {
    const FILE_INFO_STRUCT record = PackageRecord(copy.data(), header, i);
    if (!exempt(record)) held.insert(key(record));
  }
  for (const FILE_INFO_STRUCT& record : table) {
    if (!exempt(record) && InStoredCopy(part, record.kind)) expected.insert(key(record));
  }
  return held == expected;
}

}  // namespace cw
