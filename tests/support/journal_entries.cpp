#include "support/journal_entries.h"

#include "platform/sha256.h"

namespace cw::test {

JournalEntry SampleJournalEntry(JobKind kind, JobOutcome outcome, int minute, uint32_t serial) {
  JournalFacts f;
  f.result.kind = kind;
  f.result.outcome = outcome;
  f.card.present = true;
  f.card.letter = "E:";
  f.card.serial = serial;
  f.card.label = "PANEL1";
  f.card.bytes = 64 << 20;
  f.card.fileSystem = "FAT16";
  f.cardKind = "panel";
  f.panelModel = 3950;
  if (kind != JobKind::kRestoreOnly) {
    f.package = PackageFacts{"P1.FWP", 1234, 0xDEADBEEF, Sha256Hex("package"), {}};
    f.package->versions.versionBlock = {2, 5, 'A', 1, 7, 0};
  }
  f.frontEnd = "command_line";
  f.runId = "00112233aabbccdd";
  f.started = {1772355600000 + minute * 60000LL, 60};
  f.ended = {f.started.unixMilliseconds + 42500, 60};
  f.host = "bench-pc";
  f.user = "ann";
  f.stage = "verification";
  f.filesWritten = 12;
  f.filesVerified = 12;
  f.phases = {{"store", 3.5}};
  return JournalEntryOf(f);
}

}  // namespace cw::test
