#pragma once
// Reading the package's header from memory under the package format's line rule: a line ends at CR
// (which also swallows the one byte after it) or at a lone LF, its text ends at its first zero
// byte, and reading at the end yields empty lines. Binary values follow their keyword lines.
// Nothing here reads past the end of the buffer: a value that would run past it is refused.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cw {

class File;

using Bytes = std::vector<uint8_t>;

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size, size_t position = 0)
      : data_(data), size_(size), position_(position < size ? position : size) {}
  explicit ByteReader(const Bytes& bytes, size_t position = 0)
      : ByteReader(bytes.data(), bytes.size(), position) {}

  // One line under the line rule; an empty line at the end.
  std::string ReadLine();
  // Reads lines until one satisfies `match` or `limit` lines have been read. True on a match;
  // either way the position is after the last line read.
  template <typename Match>
  bool SearchLine(int limit, Match match) {
    for (int i = 0; i < limit; ++i) {
      if (match(ReadLine())) return true;
    }
    return false;
  }

  // Little-endian values. False, and the position left unchanged, when the buffer ends first.
  bool ReadInt32(int32_t* value);
  bool ReadUInt32(uint32_t* value);
  bool ReadByte(char* value);
  bool ReadBytes(void* out, size_t count);

  // True once any read has looked at the buffer's end: a line that ran into it or a value that
  // did not fit. A reader over the first part of a file that never reached the end of that
  // part read exactly what it would have read over the whole file.
  bool ReachedEnd() const { return reachedEnd_; }
  size_t position() const { return position_; }
  size_t remaining() const { return size_ - position_; }
  bool AtEnd() const { return position_ >= size_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_;
  bool reachedEnd_ = false;
};

// Gives `buffer` exactly `size` zeroed bytes. False, with `buffer` empty, when the memory
// cannot be had: more than the process can address (2 or 4 GiB in a 32-bit build), more than
// the operating system gives, or more than the allocation limit.
bool AllocateBytes(Bytes* buffer, uint64_t size);
// The most AllocateBytes gives one buffer (0, the default: no limit of ours). Tests set it to
// play a PC short of memory.
void SetAllocationLimit(uint64_t bytes);

// Reads an open file from its first byte into one buffer as large as the file. False when it
// is larger than `maxBytes`, the memory cannot be had (both also set *tooLarge) or fewer bytes
// arrive than its size; *out then holds just the bytes that did arrive.
bool ReadWholeFile(File& file, uint64_t maxBytes, Bytes* out, bool* tooLarge = nullptr);

}  // namespace cw
