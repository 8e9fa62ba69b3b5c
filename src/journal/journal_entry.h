#pragma once
// One line of the card journal: what one job did to one card, as plain values, and how the line
// reads as JSON (its keys: docs/json.md). The builder takes only values, so any front end, and
// any layer above, can make an entry of a job it watched.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "record/card_identity.h"
#include "record/job_request.h"
#include "record/job_result.h"
#include "record/package_versions.h"

namespace cw {

inline constexpr int kJournalSchema = 1;

// How long one phase of a job took.
struct PhaseDuration {
  std::string phase;
  double seconds = 0;
};

// The package a job worked with, as its file is now: read once, for its size and digests.
struct PackageFacts {
  std::string fileName;  // without its folder
  uint64_t bytes = 0;
  uint32_t crc32 = 0;
  std::string sha256;  // empty when the file could not be read
  PackageVersions versions;  // as the window shows them
};

// Reads the package at `path` once: its size, CRC-32 and SHA-256, and its versions from its
// head. Nothing when it cannot be read.
std::optional<PackageFacts> ReadPackageFacts(Platform& platform, const std::string& path);

// What a front end knows of one job once it has ended; all plain values.
struct JournalFacts {
  JobResult result;
  CardIdentity card;  // the card the job began with (result.card when it took one)
  std::string cardKind;  // "engine" or "panel" as the job took the card; empty when not known
  int32_t panelModel = 0;  // 3940 or 3950; 0 when not known
  std::optional<PackageFacts> package;  // none for a restore only
  std::string frontEnd;  // "window" or "command_line"
  std::string runId;
  WallTime started;
  WallTime ended;
  std::string host;
  std::string user;
  std::string stage;  // the phase the job ended in
  int64_t filesWritten = 0;
  int64_t filesVerified = 0;
  int64_t filesFailed = 0;
  int64_t filesRestored = 0;
  std::string backupName;  // the backup taken or restored; empty when none is known
  std::vector<PhaseDuration> phases;
};

// The entry, ready to be written: the facts plus what every line carries.
struct JournalEntry {
  int schema = kJournalSchema;
  std::string programVersion;
  JournalFacts facts;
};

JournalEntry JournalEntryOf(const JournalFacts& facts);

// The facts the job's result gives: the card and its kind, the backup taken or put back, the
// package read again from its file (none for a restore only), and where and when it ran. What
// the job's events told (the stage, the file counts, the phases' times) the caller adds.
JournalFacts JournalFactsOf(Platform& platform, const JobResult& result,
                            const std::string& frontEnd, const std::string& runId,
                            const WallTime& started);

// A new run id: 16 hex digits, different for every run.
std::string NewRunId();

// "2026-03-01T09:15:42.250Z"; "+01:00".
std::string UtcText(int64_t unixMilliseconds);
std::string OffsetText(int32_t minutes);

// The line's text, without its newline: the chain's link to the line before (`previous`, the
// SHA-256 of that line, empty for the first) comes first, at a fixed place.
std::string JournalLineOf(const JournalEntry& entry, const std::string& previous);

}  // namespace cw
