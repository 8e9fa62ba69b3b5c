#pragma once
// The history beside each kind's backup folder ("<folder>_HISTORY"): before a backup begins,
// the previous one moves into it whole, by renames, so the next backup never destroys the last
// one. Each entry is named by when and from which card it was taken
// ("2026-12-08_044512_1234-ABCD") and keeps its manifest beside it; an entry that never
// completed keeps its ".incomplete" mark too. Only the newest entries are kept, and older ones
// go only after a new backup is whole.

#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup_manifest.h"
#include "platform/platform.h"

namespace cw {

struct JobState;

inline constexpr int kDefaultBackupsKept = 5;

std::string HistoryFolderOf(const std::string& backupFolder);
// True when `path` names a folder (a backup folder, or an entry of the history).
bool IsFolder(Platform& platform, const std::string& path);

// How many earlier backups of a kind the history keeps: `requested` when it is 0 or more, else
// the number in the data folder's "BackupsKept.txt", else kDefaultBackupsKept.
int BackupsKept(Platform& platform, int requested, const std::string& dataPath);

// Moves `backupFolder` and its manifest into the history, the folder `incomplete` with its mark.
// The folder's own mark must already be written: a crash between the two renames then leaves
// nothing that a restore would trust wrongly. True when it moved whole, or there was nothing to
// move; false (last error set) when the previous backup could not be moved and stays where it
// was.
bool MoveBackupToHistory(JobState& state, const std::string& backupFolder, bool incomplete);

// Deletes the oldest history entries beyond `keep` (0 keeps none). A failure is logged: the
// entry stays, and a later pruning tries again.
void PruneHistory(JobState& state, const std::string& backupFolder, int keep);

// One backup of a kind: its folder, or an entry of the history.
struct BackupEntry {
  std::string name;    // the folder's own name
  std::string folder;  // its Windows path
  bool inHistory = false;
  bool incomplete = false;  // marked: begun and never finished
  ManifestState manifestState = ManifestState::kMissing;
  BackupManifest manifest;
  size_t files = 0;  // from the manifest, else counted in the folder
  uint64_t bytes = 0;
  // Checked against the manifest: empty when every copy is whole, else the first problem
  // ("APP\MAIN.BIN: CRC differs").
  std::string problem;
  bool checked = false;
};

// The kind's folder (when there is one) and its history, newest first. With `check`, every
// copy is read and compared with its manifest.
std::vector<BackupEntry> ListBackups(Platform& platform, const std::string& backupFolder,
                                     bool check);

// The first problem of a backup against its manifest, empty when every copy is whole.
std::string CheckBackupAgainstManifest(Platform& platform, const std::string& folder,
                                       const BackupManifest& manifest);

}  // namespace cw
