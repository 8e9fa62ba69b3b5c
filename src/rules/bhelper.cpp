#include "rules/bhelper.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <new>

#include "log/reporter.h"
#include "platform/platform.h"
#include "rules/crc_kernels.h"

namespace cw {
namespace {

uint32_t CRCTable[256];
std::once_flag crcTableBuilt;

constexpr uint32_t kPolynomial = 0x04C11DB7;

void FillCRCTable() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t v = CBHelper::ReflectBits(i, 8) << 24;
    for (int bit = 0; bit < 8; ++bit) v = (v & 0x80000000u) ? (v << 1) ^ kPolynomial : v << 1;
    CRCTable[i] = CBHelper::ReflectBits(v, 32);
  }
  crc::Prepare(CRCTable);
}

// The buffer of the whole-file reads, kept from file to file of a thread so that its memory is
// not obtained and touched afresh for each; one grown past kKeptReadBytes is let go after use.
constexpr size_t kKeptReadBytes = size_t{64} << 20;
struct ReadBuffer {
  std::unique_ptr<unsigned char[]> bytes;
  size_t size = 0;
};
thread_local ReadBuffer readBuffer;

// Throws std::bad_alloc when the memory is not there.
unsigned char* ReadBufferOf(size_t size) {
  if (readBuffer.size < size) {
    readBuffer = {};
    // Left uninitialised: the read fills it, and zero-filling a large file's buffer first
    // would cost as much again as the CRC itself.
    readBuffer.bytes = std::make_unique_for_overwrite<unsigned char[]>(size);
    readBuffer.size = size;
  }
  return readBuffer.bytes.get();
}

void ReleaseLargeReadBuffer() {
  if (readBuffer.size > kKeptReadBytes) readBuffer = {};
}

uint32_t Crc(const unsigned char* data, size_t length) {
  CBHelper::BuildCRCTable();
  // The byte-at-a-time loop's result, by a faster route (crc_kernels.h).
  return ~crc::Fast(0xFFFFFFFFu, data, length);
}

}  // namespace

CBHelper::CBHelper() { BuildCRCTable(); }

// The table always gets the same values, so building it once serves every later caller, and
// call_once keeps any thread from reading it half built.
void CBHelper::BuildCRCTable() { std::call_once(crcTableBuilt, FillCRCTable); }

uint32_t CBHelper::ReflectBits(uint32_t value, int8_t count) {
  uint32_t result = 0;
  for (int k = 0; k < count && k < 32; ++k) {
    const int target = count - 1 - k;
    if (((value >> k) & 1u) && target < 32) result |= 1u << target;
  }
  return result;
}

uint32_t CBHelper::BufferCRC(const unsigned char* data, uint32_t length) {
  if (data == nullptr) return Crc(nullptr, 0);
  return Crc(data, length);
}

uint32_t CBHelper::StringCRC(const std::string& buffer, uint32_t length) {
  // Never past the string's own bytes, whatever length the caller claims.
  const size_t n = std::min<size_t>(length, buffer.size());
  return Crc(reinterpret_cast<const unsigned char*>(buffer.data()), n);
}

uint32_t CBHelper::GetFileCRC(Platform& platform, const Reporter& report,
                              const std::string& path) {
  return ReadFileCRC(platform, report, path).value_or(0);
}

std::optional<uint32_t> CBHelper::ReadFileCRC(Platform& platform, const Reporter& report,
                                              const std::string& path) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (!file) return std::nullopt;

  uint64_t fullSize = 0;
  bool ok = file->GetSize(&fullSize);
  // A file past 4 GiB cannot be read whole in one request; a CRC of its first part would pass
  // for the whole file's, so it counts as a failed read.
  ok = ok && fullSize <= std::numeric_limits<uint32_t>::max();
  const uint32_t size = static_cast<uint32_t>(fullSize);
  unsigned char* buffer = nullptr;
  uint32_t bytesRead = 0;
  if (ok) {
    try {
      buffer = ReadBufferOf(std::max<uint32_t>(size, 1));
      // One request for the whole file; only the count of bytes that came decides.
      file->Read(buffer, size, &bytesRead);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  file->Close();
  if (!ok || bytesRead != size) {
    ReleaseLargeReadBuffer();
    report.ShowMessage("Failed to read the file.\n\n" + platform.DisplayPath(path), MessageButtons::Ok,
                       MessageIcon::None);
    return std::nullopt;
  }
  const uint32_t crc = Crc(buffer, size);
  ReleaseLargeReadBuffer();
  return crc;
}

std::optional<uint32_t> CBHelper::QuietFileCRC(Platform& platform, const std::string& path,
                                               uint64_t* size) {
  *size = 0;
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (!file) return std::nullopt;
  constexpr uint32_t kPiece = 1u << 20;
  const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kPiece);
  RunningCRC crc;
  for (;;) {
    uint32_t got = 0;
    if (!file->Read(buffer.get(), kPiece, &got)) return std::nullopt;
    if (got == 0) break;
    crc.Add(buffer.get(), got);
    *size += got;
  }
  if (!file->Close()) return std::nullopt;
  return crc.Value();
}

RunningCRC::RunningCRC() { CBHelper::BuildCRCTable(); }

void RunningCRC::Add(const void* data, size_t length) {
  state_ = crc::Fast(state_, static_cast<const unsigned char*>(data), length);
}

}  // namespace cw
