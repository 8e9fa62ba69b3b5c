#include "fat/write_log.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace cw::fat {

namespace {

uint64_t Le(const std::string& bytes, size_t at, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

constexpr size_t kSuperBytes = 28;  // magic, version, entry count (8 each), sector size (4)
constexpr size_t kEntryBytes = 32;  // sector, sectors, flags, data length (8 each)

}  // namespace

std::optional<WriteLog> WriteLog::Parse(std::string bytes, std::string* error) {
  if (bytes.size() < kSuperBytes) {
    *error = "the log is shorter than its super block";
    return std::nullopt;
  }
  if (Le(bytes, 0, 8) != kWriteLogMagic || Le(bytes, 8, 8) != kWriteLogVersion) {
    *error = "the log has no log-writes super block of version 1";
    return std::nullopt;
  }
  WriteLog log;
  const uint64_t count = Le(bytes, 16, 8);
  log.sectorSize_ = static_cast<uint32_t>(Le(bytes, 24, 4));
  const uint64_t size = log.sectorSize_;
  if (size < 512 || size > 65536 || (size & (size - 1)) != 0) {
    *error = "the log's sector size " + std::to_string(size) + " is not a power of two >= 512";
    return std::nullopt;
  }
  uint64_t at = size;
  for (uint64_t i = 0; i < count; ++i) {
    const std::string where = "entry " + std::to_string(i) + ": ";
    if (at > bytes.size() || bytes.size() - at < size) {
      *error = where + "the log ends before it";
      return std::nullopt;
    }
    WriteLogEntry entry;
    entry.sector = Le(bytes, at, 8);
    entry.sectors = Le(bytes, at + 8, 8);
    entry.flags = Le(bytes, at + 16, 8);
    const uint64_t dataLength = Le(bytes, at + 24, 8);
    at += size;
    entry.dataOffset = at;
    if ((entry.flags & kLogMark) != 0) {
      if (dataLength > size - kEntryBytes) {
        *error = where + "its mark is longer than its sector";
        return std::nullopt;
      }
      entry.mark = bytes.substr(entry.dataOffset - size + kEntryBytes, dataLength);
    } else if (dataLength != 0) {
      *error = where + "inline data, which only DAX devices log, is not read here";
      return std::nullopt;
    } else if ((entry.flags & kLogDiscard) == 0) {
      if (entry.sectors > (bytes.size() - at) / size) {
        *error = where + "its data run past the end of the log";
        return std::nullopt;
      }
      at += entry.sectors * size;
    }
    log.entries_.push_back(std::move(entry));
  }
  log.bytes_ = std::move(bytes);
  return log;
}

std::optional<WriteLog> WriteLog::Load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return std::nullopt;
  }
  return Parse(std::string(std::istreambuf_iterator<char>(in), {}), error);
}

bool WriteLog::Apply(std::string* image, size_t from, size_t to, std::string* error) const {
  for (size_t i = from; i < to && i < entries_.size(); ++i) {
    const WriteLogEntry& entry = entries_[i];
    if ((entry.flags & kLogMark) != 0 || entry.sectors == 0) continue;
    const uint64_t sectors = image->size() / sectorSize_;
    if (entry.sector > sectors || entry.sectors > sectors - entry.sector) {
      *error = "entry " + std::to_string(i) + " writes sectors " + std::to_string(entry.sector) +
               "+" + std::to_string(entry.sectors) + " of a card of " + std::to_string(sectors);
      return false;
    }
    char* target = image->data() + entry.sector * sectorSize_;
    const size_t length = entry.sectors * sectorSize_;
    if ((entry.flags & kLogDiscard) != 0) {
      std::memset(target, 0, length);
    } else {
      std::memcpy(target, bytes_.data() + entry.dataOffset, length);
    }
  }
  return true;
}

std::vector<size_t> WriteLog::CutPoints(size_t sample) const {
  std::set<size_t> cuts = {0};
  std::vector<size_t> writes;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].IsFlushPoint()) cuts.insert(i + 1);
    if (entries_[i].IsWrite()) writes.push_back(i);
  }
  if (writes.size() <= sample) {
    for (size_t i : writes) cuts.insert(i + 1);
  } else {
    // The k-th of `sample` points ends the write at ceil(k * writes / sample): the last one
    // ends the last write.
    for (size_t k = 1; k <= sample; ++k) {
      cuts.insert(writes[(k * writes.size() + sample - 1) / sample - 1] + 1);
    }
  }
  return {cuts.begin(), cuts.end()};
}

}  // namespace cw::fat
