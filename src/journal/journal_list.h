#pragma once
// The journal as a listing: its entries newest first, chosen by card and date, with the values
// a table shows. The command line and both windows list through this.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cw {

struct JournalRow {
  size_t line = 0;         // 1-based, in the file
  std::string_view text;   // the line itself, a view into the journal's bytes
  bool complete = false;   // false: cut short; only `line` and `text` hold
  std::string started;     // local time at the PC: "2026-03-01 10:15:42 +01:00"
  std::string sinceKey;    // local "2026-03-01T10:15:42", for --since
  int64_t startedUtcMs = 0;
  std::string job, outcome, stage, frontEnd, user, host, runId;
  std::string cardLetter, cardSerial, cardLabel;
  std::string packageName, packageVersion;
  int64_t filesWritten = 0, filesVerified = 0, filesFailed = 0, filesRestored = 0;
  std::string backup;
};

struct JournalFilter {
  std::string cardSerial;  // "1A2B-3C4D" (dash and case optional); empty: every card
  std::string since;       // "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS]", local; empty: all
};

// Checks a --since value: empty when good, else the message.
std::string SinceProblem(const std::string& since);

// Every line of the journal's bytes as a row, in file order.
std::vector<JournalRow> JournalRows(std::string_view bytes);

// The complete rows `filter` chooses, newest first: pointers into `rows`.
std::vector<const JournalRow*> SelectRows(const std::vector<JournalRow>& rows,
                                          const JournalFilter& filter);

// The rows' 1-based line numbers that were cut short.
std::vector<size_t> IncompleteLines(const std::vector<JournalRow>& rows);

// "3/3/0": files written, verified, failed.
std::string FilesText(const JournalRow& row);

// The columns of the journal's table, as the command line prints it and the windows list it,
// and a row's texts in them.
inline constexpr std::array<const char*, 7> kJournalColumns = {
    "started", "job", "card", "label", "package", "outcome", "files w/v/f"};
std::array<std::string, kJournalColumns.size()> JournalCells(const JournalRow& row);

// What a listing says of the journal as a whole: it could not be read, it is empty, some of
// its lines were cut short. `shown` is the journal's path as the user knows it.
std::string JournalUnreadableText(const std::string& shown, uint32_t error);
std::string NoJournalEntriesText(const std::string& shown);
std::string IncompleteLinesText(const std::vector<size_t>& lines);
// "3, 7": line numbers as a listing names them.
std::string LineNumbersText(const std::vector<size_t>& lines);

}  // namespace cw
