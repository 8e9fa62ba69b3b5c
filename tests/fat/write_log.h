#pragma once
// The block writes of a card as the kernel's dm-log-writes target records them on its log
// device, read back on the host and replayed onto a copy of the card's starting image, so that
// a power cut can be tried between any two writes.
//
// The log device: a super block in its first sector, then per entry one sector holding the
// entry (a mark's text follows the entry in that sector) and the entry's data sectors.
// Little-endian throughout; sector numbers and counts are in units of the super's sector size.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cw::fat {

inline constexpr uint64_t kWriteLogMagic = 0x6a736677736872ull;
inline constexpr uint64_t kWriteLogVersion = 1;

// The entry flags of the log format.
enum WriteLogFlag : uint64_t {
  kLogFlush = 1u << 0,
  kLogFua = 1u << 1,
  kLogDiscard = 1u << 2,
  kLogMark = 1u << 3,
  kLogMetadata = 1u << 4,
};

struct WriteLogEntry {
  uint64_t sector = 0;     // where on the card, in sectors
  uint64_t sectors = 0;    // how many sectors were written (or discarded)
  uint64_t flags = 0;
  uint64_t dataOffset = 0; // where its data start in the log, in bytes
  std::string mark;        // a mark's text

  bool IsWrite() const { return (flags & (kLogMark | kLogDiscard)) == 0 && sectors > 0; }
  bool IsFlushPoint() const { return (flags & (kLogFlush | kLogFua)) != 0; }
};

class WriteLog {
 public:
  // Reads the entries of the log in `bytes`; nullopt with *error set when the log is not one
  // or claims more than it holds.
  static std::optional<WriteLog> Parse(std::string bytes, std::string* error);
  static std::optional<WriteLog> Load(const std::string& path, std::string* error);

  uint32_t sectorSize() const { return sectorSize_; }
  const std::vector<WriteLogEntry>& entries() const { return entries_; }

  // Applies entries [from, to) to `image` (the card's bytes): writes copy their data, discards
  // zero their range. False with *error when an entry lies beyond the image.
  bool Apply(std::string* image, size_t from, size_t to, std::string* error) const;

  // The cuts to try, as counts of entries applied, ascending and without repeats: none, every
  // count that ends on a flush or FUA entry, and the count after each write when there are at
  // most `sample` writes, else `sample` counts spread evenly over the writes. The same log
  // always gives the same cuts.
  std::vector<size_t> CutPoints(size_t sample) const;

 private:
  uint32_t sectorSize_ = 512;
  std::vector<WriteLogEntry> entries_;
  std::string bytes_;
};

}  // namespace cw::fat
