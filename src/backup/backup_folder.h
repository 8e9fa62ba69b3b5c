#pragma once
// The backup folder's place beside the card: where a file goes on the other side, the folders
// it needs there, and the mark of a backup that has not finished. The mark is a file beside
// the folder (as the folder's lock is), so it is never listed as a card file, never restored
// onto a card and never deleted by cleaning the backup.

#include <string>
#include <unordered_set>

#include "platform/platform.h"

namespace cw {

struct JobState;

// What a restore from a folder marked incomplete reports instead of restoring.
inline constexpr const char* kBackupIncompleteText =
    "The last backup is incomplete: nothing was restored.";

// Maps `path` from below the folder `from` to below the folder `to`. The folder prefix is
// matched case-insensitively: the listings are upper-cased while a data folder (the temporary
// folder it falls back to) need not be. False when `path` is not below `from`.
bool MapFolderPath(const std::string& path, const std::string& from, const std::string& to,
                   std::string* mapped);

// Creates the missing folders above `path` from the top down (the drive root always exists).
// `found` holds the folders already seen to hold something: they are not listed again, which
// would cost time growing with the square of a folder's size. Failures are only logged: the
// copy that follows reports them.
void CreateMissingFolders(JobState& state, const std::string& path,
                          std::unordered_set<std::string>& found);

// The mark's name for a backup folder: its Windows path followed by ".incomplete".
std::string BackupMarkName(const std::string& backupFolder);
// Writes the mark (creating the folders above it) and flushes it. False when it could not be
// written: a backup must then not begin.
bool MarkBackupIncomplete(JobState& state, const std::string& backupFolder,
                          std::unordered_set<std::string>& found);
// Removes the mark once the backup is complete and on stable storage.
bool ClearBackupMark(Platform& platform, const std::string& backupFolder);
// True when the folder holds a backup that was begun and never finished, or when that cannot
// be ruled out. A folder without a mark (made before the mark existed) counts as complete.
bool BackupMarkedIncomplete(Platform& platform, const std::string& backupFolder);

}  // namespace cw
