#include "package/byte_reader.h"

#include <atomic>
#include <cstring>
#include <exception>

#include "platform/platform.h"

namespace cw {

std::string ByteReader::ReadLine() {
  // At the end there is nothing to scan (and an empty buffer may have no storage at all). A
  // read here looked at the end: over the first part of a file, the next line lies beyond it.
  if (position_ >= size_) {
    reachedEnd_ = true;
    return std::string();
  }
  const size_t start = position_;
  size_t end = start;
  while (end < size_ && data_[end] != '\r' && data_[end] != '\n') ++end;
  size_t next = end;
  if (end < size_) {
    // A CR takes the byte after it along (normally the LF of a CR LF pair).
    next = data_[end] == '\r' ? end + 2 : end + 1;
    if (next > size_) next = size_;
  }
  if (end == size_ || (data_[end] == '\r' && end + 2 > size_)) reachedEnd_ = true;
  const void* zero = std::memchr(data_ + start, 0, end - start);
  const size_t textEnd = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data_) : end;
  position_ = next;
  return std::string(reinterpret_cast<const char*>(data_ + start), textEnd - start);
}

bool ByteReader::ReadBytes(void* out, size_t count) {
  if (count > remaining()) {
    reachedEnd_ = true;
    return false;
  }
  std::memcpy(out, data_ + position_, count);
  position_ += count;
  return true;
}

bool ByteReader::ReadUInt32(uint32_t* value) {
  uint8_t b[4];
  if (!ReadBytes(b, 4)) return false;
  *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

bool ByteReader::ReadInt32(int32_t* value) {
  uint32_t raw;
  if (!ReadUInt32(&raw)) return false;
  *value = static_cast<int32_t>(raw);
  return true;
}

bool ByteReader::ReadByte(char* value) { return ReadBytes(value, 1); }

namespace {
std::atomic<uint64_t> allocationLimit{0};
}  // namespace

void SetAllocationLimit(uint64_t bytes) { allocationLimit = bytes; }

bool AllocateBytes(Bytes* buffer, uint64_t size) {
  const uint64_t limit = allocationLimit;
  // A 32-bit vector refuses more than 2 GiB with length_error, not bad_alloc.
  if ((limit != 0 && size > limit) || size > buffer->max_size()) {
    *buffer = Bytes();
    return false;
  }
  try {
    buffer->assign(static_cast<size_t>(size), 0);
  } catch (const std::exception&) {  // bad_alloc, or length_error
    *buffer = Bytes();
    return false;
  }
  return true;
}

bool ReadWholeFile(File& file, uint64_t maxBytes, Bytes* out, bool* tooLarge) {
  uint64_t size = 0;
  if (!file.GetSize(&size)) return false;
  if (size > maxBytes || !AllocateBytes(out, size)) {
    if (tooLarge != nullptr) *tooLarge = true;
    return false;
  }
  if (!file.Seek(0, SeekFrom::Begin)) return false;
  size_t done = 0;
  while (done < out->size()) {
    const uint64_t left = out->size() - done;
    const uint32_t chunk = left > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(left);
    uint32_t got = 0;
    if (!file.Read(out->data() + done, chunk, &got) || got == 0) return false;
    done += got;
  }
  return true;
}

}  // namespace cw
