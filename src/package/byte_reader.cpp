#include "package/byte_reader.h"

#include <algorithm>
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

namespace {

// Room for `size` bytes without a byte in it: the old contents go first, so that the old and
// the new buffer are never held together.
bool ReserveBytes(Bytes* buffer, uint64_t size) {
  const uint64_t limit = allocationLimit;
  *buffer = Bytes();
  // A 32-bit vector refuses more than 2 GiB with length_error, not bad_alloc.
  if ((limit != 0 && size > limit) || size > buffer->max_size()) return false;
  try {
    buffer->reserve(static_cast<size_t>(size));
  } catch (const std::exception&) {  // bad_alloc, or length_error
    *buffer = Bytes();
    return false;
  }
  return true;
}

// A whole file is read this much at a time: each piece is zeroed just before the read fills
// it, while it is still in the cache, rather than the whole buffer ahead of the reading.
constexpr size_t kReadPiece = 1u << 20;

}  // namespace

bool AllocateBytes(Bytes* buffer, uint64_t size) {
  if (!ReserveBytes(buffer, size)) return false;
  buffer->assign(static_cast<size_t>(size), 0);
  return true;
}

bool ReadWholeFile(File& file, uint64_t maxBytes, Bytes* out, bool* tooLarge) {
  uint64_t size = 0;
  if (!file.GetSize(&size)) return false;
  if (size > maxBytes || !ReserveBytes(out, size)) {
    if (tooLarge != nullptr) *tooLarge = true;
    return false;
  }
  if (!file.Seek(0, SeekFrom::Begin)) return false;
  // The buffer only ever holds bytes that were read: it grows by what each read brought.
  while (out->size() < size) {
    const size_t done = out->size();
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(size - done, kReadPiece));
    out->resize(done + piece);  // within the room reserved: never moves
    uint32_t got = 0;
    const bool read = file.Read(out->data() + done, static_cast<uint32_t>(piece), &got);
    out->resize(done + (read ? std::min<size_t>(got, piece) : 0));
    if (!read || got == 0) return false;
  }
  return true;
}

}  // namespace cw
