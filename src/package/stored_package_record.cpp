#include "package/stored_package_record.h"

#include <cstring>
#include <new>

#include "platform/platform.h"

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

bool Reserve(Bytes* buffer, size_t size) {
  try {
    buffer->assign(size, 0);
  } catch (const std::bad_alloc&) {
    buffer->clear();
    return false;
  }
  return true;
}

RecordRead ReadRecordData(File& package, uint64_t packageSize, const FILE_INFO_STRUCT& record,
                          Bytes* data) {
  const std::string stamp = FieldText(record.cardPath);
  if (record.dataOffset < 0 || record.storedSize < 0 ||
      uint64_t(record.dataOffset) + stamp.size() + uint64_t(record.storedSize) > packageSize) {
    return RecordRead::kNotFound;
  }
  std::string found(stamp.size(), '\0');
  if (!package.Seek(record.dataOffset, SeekFrom::Begin) ||
      !ReadExactly(package, found.data(), found.size()) || found != stamp) {
    return RecordRead::kNotFound;
  }
  if (!Reserve(data, static_cast<size_t>(record.storedSize))) return RecordRead::kNoMemory;
  // The size was checked above; a package that shrank since then has lost the data.
  if (!ReadExactly(package, data->data(), static_cast<size_t>(record.storedSize))) {
    return RecordRead::kNotFound;
  }
  return RecordRead::kRead;
}

std::string LittleEndianBytes(uint32_t value) {
  std::string out;
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
  return out;
}

}  // namespace cw
