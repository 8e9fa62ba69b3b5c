// The card journal at 100,000 lines (years of a busy workshop): listing it newest first, as
// `cardwright journal` does, and checking its chain, which hashes every line once. In memory,
// so the disk's speed does not count.

#include <benchmark/benchmark.h>

#include <string>

#include "journal/journal_entry.h"
#include "journal/journal_file.h"
#include "journal/journal_list.h"
#include "platform/sha256.h"

namespace {

const std::string& Journal() {
  static const std::string journal = [] {
    std::string bytes;
    std::string previous;
    for (int i = 0; i < 100000; ++i) {
      cw::JournalFacts f;
      f.result.kind = cw::JobKind::kStore;
      f.result.outcome = i % 7 ? cw::JobOutcome::kPassed : cw::JobOutcome::kFailed;
      f.card = {true, "E:", 0x1A2B0000u + static_cast<uint32_t>(i % 500), "PANEL", 64u << 20, "FAT16"};
      f.cardKind = "panel";
      f.package = cw::PackageFacts{"PANEL_3950_V2.FWP", 48u << 20, 0x12345678u,
                                   cw::Sha256Hex(std::to_string(i)), {}};
      f.frontEnd = "window";
      f.runId = "00112233aabbccdd";
      f.started = {1772355600000 + i * 600000LL, 60};
      f.ended = {f.started.unixMilliseconds + 240000, 60};
      f.host = "WORKSHOP-PC";
      f.user = "technician";
      f.stage = "verification";
      f.filesWritten = f.filesVerified = 140;
      const std::string line = cw::JournalLineOf(cw::JournalEntryOf(f), previous);
      previous = cw::Sha256Hex(line);
      bytes += line + "\n";
    }
    return bytes;
  }();
  return journal;
}

void BM_JournalList(benchmark::State& state) {
  const std::string& journal = Journal();
  for (auto _ : state) {
    const std::vector<cw::JournalRow> rows = cw::JournalRows(journal);
    benchmark::DoNotOptimize(cw::SelectRows(rows, cw::JournalFilter{}));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * journal.size()));
}
BENCHMARK(BM_JournalList)->Unit(benchmark::kMillisecond);

void BM_JournalCheck(benchmark::State& state) {
  const std::string& journal = Journal();
  for (auto _ : state) benchmark::DoNotOptimize(cw::CheckJournal(journal));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * journal.size()));
}
BENCHMARK(BM_JournalCheck)->Unit(benchmark::kMillisecond);

// The bare SHA-256 of the same bytes, line by line: what --check cannot go below.
void BM_JournalSha256Only(benchmark::State& state) {
  const std::string& journal = Journal();
  for (auto _ : state) {
    size_t at = 0;
    while (at < journal.size()) {
      const size_t end = journal.find('\n', at);
      benchmark::DoNotOptimize(cw::Sha256Hex(std::string_view(journal).substr(at, end - at)));
      at = end + 1;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * journal.size()));
}
BENCHMARK(BM_JournalSha256Only)->Unit(benchmark::kMillisecond);

}  // namespace
