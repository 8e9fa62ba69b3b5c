#pragma once
// The card journal "CardJournal.jsonl" in the data folder: one JSON line per card per job,
// each carrying the SHA-256 of the line before it, so an edit, a removal or an insertion breaks
// the chain where it was made.
//
// A line is appended whole by one write at the file's end, under a lock every Cardwright of
// this user takes by the journal's path, so lines of two runs never interleave. A line a crash
// cut short stays as it is: the next append first ends it with a newline, and the listing
// reports it as incomplete.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal_entry.h"

namespace cw {

class Platform;

inline constexpr const char* kJournalFileName = "CardJournal.jsonl";
// How long an append waits for another run's append to finish.
inline constexpr uint32_t kJournalLockWaitMs = 10000;

std::string JournalPath(const std::string& dataFolder);

// Appends the entry's line. False, with the platform's last error set, when the journal could
// not be written; the job it describes is not affected.
bool AppendJobToJournal(Platform& platform, const std::string& dataFolder,
                        const JournalEntry& entry);

// What a front end shows when the journal could not be written (the job's own outcome stands).
inline constexpr const char* kJournalNotWritten =
    "Warning: the card journal could not be written to CardJournal.jsonl.";

// Appends the entry of a job that took a card (a job that ended before it took one did not
// touch a card and leaves no line). Returns the message to show: kJournalNotWritten with the
// error number, or empty when all went well.
std::string JournalEndedJob(Platform& platform, const std::string& dataFolder,
                            const JournalEntry& entry);

// The journal's bytes. False when it cannot be read; true and empty when there is none yet.
bool ReadJournalBytes(Platform& platform, const std::string& dataFolder, std::string* bytes);

// The journal's lines, without their newlines, in file order; a last line without its newline
// is one too. Views into `bytes`.
std::vector<std::string_view> JournalLines(std::string_view bytes);

// Whether a line is a whole entry (a crash may have cut it short).
bool IsCompleteLine(std::string_view line);

// What --check finds: whether every line carries the SHA-256 of the line before it, and the
// first line (1-based) that does not. Incomplete lines are listed; their own link is not
// asked for, but the line after one must carry its SHA-256 like any other.
struct JournalCheck {
  size_t lines = 0;
  size_t brokenAt = 0;  // 0: the chain holds
  std::vector<size_t> incomplete;
  bool Holds() const { return brokenAt == 0; }
};
JournalCheck CheckJournal(std::string_view bytes);

// The `previous_sha256` a line carries: empty for null (the first line), nothing when the line
// does not begin as every line does.
bool LinkOf(std::string_view line, std::string* previous);

}  // namespace cw
