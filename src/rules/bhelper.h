#pragma once
// CRC-32 (CRC-32/ISO-HDLC, as zlib and IEEE 802.3 compute it) over buffers and whole files.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace cw {

class Reporter;

class CBHelper {
 public:
  // Makes sure the shared table is built (once, whoever asks first).
  CBHelper();
  virtual ~CBHelper() = default;

  static void BuildCRCTable();
  static uint32_t ReflectBits(uint32_t value, int8_t count);
  static uint32_t BufferCRC(const unsigned char* data, uint32_t length);
  static uint32_t StringCRC(const std::string& buffer, uint32_t length);
  // CRC of the whole file, read in one piece; 0 when it cannot be opened (silently) or read
  // short ("Failed to read the file.\n\n" + path through the prompt).
  static uint32_t GetFileCRC(Platform& platform, const Reporter& report, const std::string& path);
  // The same, but a file that cannot be opened or read whole is nullopt, never a CRC of 0.
  static std::optional<uint32_t> ReadFileCRC(Platform& platform, const Reporter& report,
                                             const std::string& path);
  // The same in pieces of a megabyte, without a word to the user: nullopt when the file cannot
  // be opened or read to its end. *size gets the bytes read.
  static std::optional<uint32_t> QuietFileCRC(Platform& platform, const std::string& path,
                                              uint64_t* size);
};

// A CRC-32 taken piece by piece, as a copy passes the bytes by.
class RunningCRC {
 public:
  RunningCRC();
  void Add(const void* data, size_t length);
  uint32_t Value() const { return ~state_; }

 private:
  uint32_t state_ = 0xFFFFFFFFu;
};

}  // namespace cw
