#pragma once
// Backup of the card into the data folder, and putting it back.

namespace cw {

// Set while BackupFiles runs and left set when it fails: the backup folder then holds only part
// of the card, whose files have not been touched, so a restore must delete nothing from it.
inline bool backupIncomplete = false;

// Copies every card file (cardFileList) into the backup folder of this kind of card; with
// `erase`, cleans the card's application files afterwards.
bool BackupFiles(bool erase);
// Copies every file of backupFileList back to the card.
bool RestoreFiles();
// Puts the backup back, ejects, reloads the reference table and verifies the card again.
// True only when the restored card verified ("Restore OK!!").
bool AttemptRestore();

}  // namespace cw
