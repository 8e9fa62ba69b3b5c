#pragma once
// Backup of the card into the data folder, and copying it back.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_history.h"
#include "backup/backup_manifest.h"
#include "card/card_inspection.h"
#include "package/loaded_package.h"

namespace cw {

struct JobState;

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

inline constexpr const char* kRestoreFailedText = "Restore Failed!! Compact flash is not usable!!";

// Ends a restore with `text` on the status line, in the transcript and the log, and its phase
// failed.
void EndRestoreWith(JobState& state, const std::string& text);

// How putting the backup back onto the card ended: nothing done and nothing changed (a store
// without a complete backup of its own, a backup marked incomplete, damaged or empty), some file
// not back, or every file back (not yet read back from the card).
enum class PutBack { kNotPossible, kFailed, kDone };
struct PutBackResult {
  PutBack outcome = PutBack::kNotPossible;
  // The backup's manifest, when it has one: what the restored card must hold.
  std::optional<BackupManifest> manifest;
};
// The one restore of the backup at backupRoot: a store's own backup (`restoreOnly` false: only
// the one it completed), or for "Restore Only" the one chosen. The backup is proven against its
// manifest, `confirmCard` is called once before the card is touched (it throws when the card is
// not the job's), a Panel card is cleaned first (`keepsWholeCard`: what CleanCF keeps), every
// file is copied back and what the failed store wrote beside them is removed.
PutBackResult PutBackupBack(JobState& state, bool restoreOnly, bool keepsWholeCard,
                            const std::function<void()>& confirmCard);

}  // namespace cw
