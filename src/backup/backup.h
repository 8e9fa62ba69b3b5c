#pragma once
// Backup of the card into the data folder, and putting it back.

namespace cw {

// Copies every card file (cardFileList) into the backup folder of this kind of card; with
// `erase`, cleans the card's application files afterwards.
bool BackupFiles(bool erase);
// Copies every file of backupFileList back to the card.
bool RestoreFiles();
// Puts the backup back, ejects, reloads the reference table and verifies the card again.
// True only when the restored card verified ("Restore OK!!").
bool AttemptRestore();

}  // namespace cw
