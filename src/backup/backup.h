#pragma once
// Backup of the card into the data folder, and copying it back.

namespace cw {

struct JobState;

// Copies every card file (cardFileList) into the backup folder of this kind of card and makes
// the copies reach the PC's disk; with `erase`, cleans the card's application files afterwards.
// While it runs, and after it failed, the folder is marked incomplete (backup_folder.h).
bool BackupFiles(JobState& state, bool erase);
// Copies every file of backupFileList back to the card, creating the folders it needs, and
// carries on past a file that cannot be put back. True only when every file is back.
bool RestoreFiles(JobState& state);

}  // namespace cw
