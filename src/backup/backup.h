#pragma once
// Backup of the card into the data folder, and copying it back.

#include <string>
#include <vector>

#include "backup/backup_history.h"
#include "card/card_inspection.h"
#include "package/loaded_package.h"

namespace cw {

struct JobState;
struct BackupManifest;

// Moves the previous backup of this kind into the history, copies every card file
// (cardFileList) into the kind's folder, makes the copies and their manifest reach the PC's
// disk, keeps `backupsKept` earlier backups, and with `erase` cleans the card's application
// files afterwards. Nothing of the card but the attributes it clears changes before the backup
// is whole (backupComplete); while it runs, and after it failed, the folder is marked
// incomplete (backup_folder.h). A Panel card with its OS image neither on it (`card`) nor in
// the package (`package`) is refused before anything moves.
bool BackupFiles(JobState& state, const CardFacts& card, const LoadedPackage& package, bool erase,
                 int backupsKept = kDefaultBackupsKept);
// Records in the transcript that a backup which did not complete left the card's files as
// they were, naming the files whose attributes it cleared.
void RecordUntouchedCard(JobState& state);
// The files of the backup (below backupRoot) whose copy does not match `manifest`, each named
// in the transcript.
std::vector<std::string> BackupCopiesNotMatching(JobState& state, const BackupManifest& manifest);
// Sets backupFileList to the files `manifest` names.
void UseManifestFiles(JobState& state, const BackupManifest& manifest);
// Copies every file of backupFileList back to the card but the `skipped` ones (paths below the
// card's root), creating the folders it needs, and carries on past a file that cannot be put
// back. True only when every file is back.
bool RestoreFiles(JobState& state, const std::vector<std::string>& skipped = {});
// Deletes every card file that `manifest` does not name (what a failed store wrote), or with
// `packagesOnly` only the package copies in the card's root (a later store's "FWP_3950.FWP",
// which would otherwise be taken for the restored card's reference).
void RemoveFilesNotIn(JobState& state, const BackupManifest& manifest, bool packagesOnly);
// Reads every file of `manifest` back from the card; names each one that differs. True when
// the card holds them all as they were.
bool CardMatchesManifest(JobState& state, const BackupManifest& manifest);

}  // namespace cw
