// The reader and replayer of recorded block writes, on logs laid out here byte by byte.
#include <gtest/gtest.h>

#include "fat/write_log.h"

namespace cw::fat {
namespace {

constexpr uint32_t kSector = 512;

std::string Le(uint64_t value, size_t size) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string Padded(std::string bytes) {
  bytes.resize((bytes.size() + kSector - 1) / kSector * kSector, '\0');
  return bytes;
}

struct Logged {
  uint64_t sector, sectors, flags;
  std::string data;  // the sectors' bytes, or a mark's text
};

// A log as the target leaves it: super block, then each entry's sector and its data.
std::string LogOf(const std::vector<Logged>& entries, uint64_t count, uint32_t sectorSize = kSector,
                  uint64_t magic = kWriteLogMagic) {
  std::string log =
      Padded(Le(magic, 8) + Le(kWriteLogVersion, 8) + Le(count, 8) + Le(sectorSize, 4));
  for (const Logged& entry : entries) {
    const bool mark = (entry.flags & kLogMark) != 0;
    log += Padded(Le(entry.sector, 8) + Le(entry.sectors, 8) + Le(entry.flags, 8) +
                  Le(mark ? entry.data.size() : 0, 8) + (mark ? entry.data : ""));
    if (!mark) log += entry.data;
  }
  return log;
}

std::string Sectors(char fill, size_t count) { return std::string(count * kSector, fill); }

TEST(WriteLog, ReadsEveryKindOfEntryAndReplaysAnyPrefix) {
  const std::string bytes = LogOf({{2, 1, 0, Sectors('a', 1)},
                                   {0, 0, kLogFlush, ""},
                                   {0, 0, kLogMark, "mounted"},
                                   {3, 2, kLogFua | kLogMetadata, Sectors('b', 2)},
                                   {2, 2, kLogDiscard, ""},
                                   {4, 1, 0, Sectors('c', 1)}},
                                  6);
  std::string error;
  const std::optional<WriteLog> log = WriteLog::Parse(bytes, &error);
  ASSERT_TRUE(log.has_value()) << error;
  ASSERT_EQ(log->entries().size(), 6u);
  EXPECT_EQ(log->entries()[2].mark, "mounted");
  EXPECT_EQ(log->entries()[3].sector, 3u);
  EXPECT_EQ(log->entries()[3].sectors, 2u);

  // Sector by sector, what the card holds after each prefix ('.' never written).
  const std::vector<std::string> after = {"......", "..a...", "..a...", "..a...",
                                          "..abb.", "....b.", "....c."};
  for (size_t n = 0; n < after.size(); ++n) {
    std::string image = Sectors('.', 6);
    ASSERT_TRUE(log->Apply(&image, 0, n, &error)) << error;
    std::string seen;
    for (size_t s = 0; s < 6; ++s) seen += image[s * kSector] == '\0' ? '.' : image[s * kSector];
    EXPECT_EQ(seen, after[n]) << "after " << n << " entries";
  }
  // Applied in two steps, the same as in one.
  std::string once = Sectors('.', 6), twice = Sectors('.', 6);
  ASSERT_TRUE(log->Apply(&once, 0, 6, &error));
  ASSERT_TRUE(log->Apply(&twice, 0, 3, &error) && log->Apply(&twice, 3, 6, &error));
  EXPECT_EQ(once, twice);

  std::string small = Sectors('.', 4);
  EXPECT_FALSE(log->Apply(&small, 0, 6, &error));
  EXPECT_NE(error.find("entry 3"), std::string::npos) << error;
}

TEST(WriteLog, RefusesWhatIsNotACompleteLog) {
  const std::string write = LogOf({{0, 2, 0, Sectors('a', 2)}}, 1);
  const struct {
    const char* name;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"empty", "", "shorter than its super"},
      {"other magic", LogOf({}, 0, kSector, 0x1234), "no log-writes super"},
      {"odd sector size", LogOf({}, 0, 700), "not a power of two"},
      {"tiny sector size", LogOf({}, 0, 256), "not a power of two"},
      {"more entries than logged", LogOf({{0, 1, 0, Sectors('a', 1)}}, 2), "entry 1: the log ends"},
      {"data cut short", write.substr(0, write.size() - 1), "entry 0: its data run past"},
      {"huge sector count", LogOf({{0, uint64_t{1} << 60, 0, ""}}, 1), "entry 0: its data run"},
      {"mark longer than its sector",
       LogOf({}, 1) + Le(0, 8) + Le(0, 8) + Le(kLogMark, 8) + Le(kSector, 8) +
           std::string(kSector - 32, 'm'),
       "entry 0: its mark"},
      {"inline data",
       LogOf({}, 1) + Padded(Le(0, 8) + Le(1, 8) + Le(0, 8) + Le(10, 8)) + Sectors('a', 1),
       "inline data"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(WriteLog::Parse(c.bytes, &error).has_value()) << c.name;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
}

TEST(WriteLog, CutsEveryFlushAndEveryWriteOrAnEvenSampleOfThem) {
  std::vector<Logged> entries;
  for (uint64_t i = 0; i < 10; ++i) {
    entries.push_back({i, 1, i == 4 ? uint64_t{kLogFua} : uint64_t{0}, Sectors('w', 1)});
    if (i == 6) entries.push_back({0, 0, kLogFlush, ""});  // entry 7
  }
  entries.push_back({0, 0, kLogMark, "end"});  // entry 11
  std::string error;
  const std::optional<WriteLog> log = WriteLog::Parse(LogOf(entries, entries.size()), &error);
  ASSERT_TRUE(log.has_value()) << error;

  // Ten writes, at most ten sampled: after every write, and after the flush.
  EXPECT_EQ(log->CutPoints(10), (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  // Four of ten writes (the 3rd, 5th, 8th and 10th), the FUA write and the flush.
  EXPECT_EQ(log->CutPoints(4), (std::vector<size_t>{0, 3, 5, 8, 9, 11}));
  EXPECT_EQ(log->CutPoints(4), log->CutPoints(4));
  EXPECT_EQ(log->CutPoints(1), (std::vector<size_t>{0, 5, 8, 11}));
}

}  // namespace
}  // namespace cw::fat
