#pragma once
// Card journal entries for tests: a job on a panel card, its values fixed but for its kind,
// outcome, start and card.

#include <cstdint>

#include "journal/journal_entry.h"

namespace cw::test {

// An entry of a job on card `serial` ("1A2B-3C4D" by default, label "PANEL1"), started
// `minute` minutes into 2026-03-01 (UTC+01:00), from the command line.
JournalEntry SampleJournalEntry(JobKind kind, JobOutcome outcome, int minute = 0,
                                uint32_t serial = 0x1A2B3C4D);

}  // namespace cw::test
