// Copying the backup back onto the card, and checking the card against the backup's manifest.

#include <memory>
#include <string>
#include <unordered_set>

#include "backup/backup.h"
#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/cleaning.h"
#include "backup/file_listings.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "rules/bhelper.h"

namespace cw {

std::vector<std::string> BackupCopiesNotMatching(JobState& state, const BackupManifest& manifest) {
  std::vector<std::string> bad;
  for (const BackupManifestFile& file : manifest.files) {
    const std::string problem = CheckBackupCopy(state.platform, state.backupRoot, file);
    if (problem.empty()) continue;
    bad.push_back(file.path);
    state.AppendDiagnostics("\r\nBackup copy does not match its manifest - " + file.path + ": " +
                            problem + "\r\n");
    state.LogF("  the backup copy of %s does not match its manifest: %s", file.path.c_str(),
               problem.c_str());
  }
  return bad;
}

void UseManifestFiles(JobState& state, const BackupManifest& manifest) {
  state.backupFileList.clear();
  for (const BackupManifestFile& file : manifest.files)
    state.backupFileList.push_back(state.backupRoot + "\\" + file.path);
}

namespace {

// Empties every card file the restore is about to replace, so that all the clusters they hold
// are freed before any copy takes one: on a card whose allocation table lost a file's cluster
// (a card that dropped writes), a copy could be given that cluster, and emptying the file that
// still names it would then free it under the copy.
void EmptyFilesToReplace(JobState& state, const std::unordered_set<std::string>& skip) {
  for (const std::string& backupPath : state.backupFileList) {
    std::string relative;
    std::string cardPath;
    FindEntry onCard;
    if ((MapFolderPath(backupPath, state.backupRoot + "\\", "", &relative) &&
         skip.contains(relative)) ||
        !MapFolderPath(backupPath, state.backupRoot, state.globalFlashPath, &cardPath) ||
        !state.platform.GetFileInfo(cardPath, &onCard) || onCard.IsDirectory() || onCard.size == 0)
      continue;
    if (std::unique_ptr<File> emptied = state.platform.OpenFile(cardPath, OpenMode::CreateAlways))
      emptied->Close();  // one that resists is reported by its copy
  }
}

}  // namespace

bool RestoreFiles(JobState& state, const std::vector<std::string>& skipped) {
  state.Log("RestoreFiles");
  const std::unordered_set<std::string> skip(skipped.begin(), skipped.end());
  const int32_t count = static_cast<int32_t>(state.backupFileList.size());
  state.SetProgressRange(0, count);
  const std::vector<uint64_t> sizes = SizesOfFiles(state.platform, state.backupFileList);
  state.StartPhaseAmounts(kProgressRestore, count, TotalOf(sizes));
  // A reformatted card, or one whose folder was deleted, gets its whole tree back; a file that
  // cannot be put back is reported and the others still go back.
  std::unordered_set<std::string> foundFolders;
  int32_t restored = 0;
  for (int32_t i = 0; i < count; ++i) {
    // A stop of the restore itself (a further request) lands between two files.
    try {
      state.StopIfRequested();
    } catch (JobStopped& stop) {
      stop.detail = Format("%d of %d files had been put back.", restored, count);
      throw;
    }
    // Only now: a stop asked before the restore began leaves the card as it was.
    if (i == 0) EmptyFilesToReplace(state, skip);
    state.SetProgressPos(i);
    const std::string& backupPath = state.backupFileList[static_cast<size_t>(i)];
    std::string cardPath = backupPath;
    std::string relative;
    bool copied = false;
    if (MapFolderPath(backupPath, state.backupRoot + "\\", "", &relative) &&
        skip.contains(relative)) {
      // A damaged copy stays off the card: what the card holds may still be the right file.
      state.CountFileDone(sizes[static_cast<size_t>(i)]);
      continue;
    }
    if (MapFolderPath(backupPath, state.backupRoot, state.globalFlashPath, &cardPath)) {
      CreateMissingFolders(state, cardPath, foundFolders);
      copied = state.platform.CopyFile(backupPath, cardPath, false);
    } else {
      SetLastError(kErrPathNotFound);  // not below the backup folder: it has no place on the card
    }
    state.CountFileDone(sizes[static_cast<size_t>(i)]);
    if (!copied) {
      state.AppendDiagnostics(
          Format("\r\nCopy File Error - %d - ", static_cast<int>(GetLastError())) + cardPath +
          "\r\n");
      continue;
    }
    ++restored;
    state.SetStatus(Format("%d Files Restored", restored));
  }
  return restored == count && skip.empty();
}

void RemoveFilesNotIn(JobState& state, const BackupManifest& manifest, bool packagesOnly) {
  std::unordered_set<std::string> old;
  for (const BackupManifestFile& file : manifest.files) old.insert(ToUpperAscii(file.path));
  FileList onCard;
  GetCFFilesArray(state, onCard);
  for (const std::string& cardPath : onCard) {
    std::string relative;
    if (!MapFolderPath(cardPath, state.globalFlashPath + "\\", "", &relative) ||
        old.contains(ToUpperAscii(relative)))
      continue;
    const bool package = relative.find('\\') == std::string::npos &&
                         ToUpperAscii(relative).ends_with(".FWP");
    if (packagesOnly && !package) continue;
    state.LogF("  removing %s, which the card did not hold when it was backed up.",
               cardPath.c_str());
    FixFileStatus(state.platform, state, cardPath);
    if (!state.platform.DeleteFile(cardPath)) {
      state.AppendDiagnostics(
          Format("\r\nDelete File Error - %d - ", static_cast<int>(GetLastError())) + cardPath +
          "\r\n");
    }
  }
}

bool CardMatchesManifest(JobState& state, const BackupManifest& manifest) {
  bool all = true;
  for (const BackupManifestFile& file : manifest.files) {
    uint64_t size = 0;
    const std::optional<uint32_t> crc =
        CBHelper::QuietFileCRC(state.platform, state.globalFlashPath + "\\" + file.path, &size);
    if (crc && *crc == file.crc && size == file.size) continue;
    all = false;
    state.AppendDiagnostics("\r\nRestored file does not match its backup - " + file.path +
                            "\r\n");
    state.LogF("  %s on the card does not match its backup.", file.path.c_str());
  }
  return all;
}

namespace {

constexpr const char* kNoBackup = "Restore Not Possible!! No Backup Files!!";
constexpr const char* kManifestDamaged =
    "Restore Not Possible!! The backup's manifest is damaged. The card is unchanged.";

// Ends a restore that puts nothing back and changes nothing on the card.
PutBackResult NotPossible(JobState& state, const std::string& text) {
  EndRestoreWith(state, text);
  return {};
}

}  // namespace

void EndRestoreWith(JobState& state, const std::string& text) {
  state.SetStatus(text);
  state.AppendDiagnostics(text);
  state.Log(text);
  state.SetPhase(JobPhase::kRestore, kPhaseFailed);
}

PutBackResult PutBackupBack(JobState& state, bool restoreOnly, bool keepsWholeCard,
                            const std::function<void()>& confirmCard) {
  if (state.backupSkipped && !restoreOnly) return NotPossible(state, kNoBackup);

  state.Log("  attempting to restore files from backup.");
  state.SetPhase(JobPhase::kRestore, kPhaseRunning);

  // A backup that never finished holds only part of the card. Cleaning would lose the card's
  // files and copying would gain nothing.
  if (!state.backupComplete && BackupMarkedIncomplete(state.platform, state.backupRoot)) {
    state.Log("  the backup is incomplete, the CF is not cleaned and nothing is restored.");
    return NotPossible(state, kBackupIncompleteText);
  }
  // A store puts back only the backup it completed itself before the card changed; "Restore
  // Only" takes the one chosen on the disk.
  if (!restoreOnly && !state.backupComplete) return NotPossible(state, kNoBackup);
  // The manifest proves the backup; one made before manifests existed restores as it is.
  BackupManifest manifest;
  const ManifestState manifestState = ReadManifest(state.platform, state.backupRoot, &manifest);
  if (manifestState == ManifestState::kDamaged) {
    state.Log("  the backup's manifest is damaged.");
    return NotPossible(state, kManifestDamaged);
  }
  const bool proven = manifestState == ManifestState::kRead;
  std::vector<std::string> damaged;
  if (proven) {
    damaged = BackupCopiesNotMatching(state, manifest);
    if (restoreOnly && !damaged.empty()) {
      return NotPossible(state, "Restore Not Possible!! The backup of " + damaged.front() +
                                    " does not match its manifest. The card is unchanged.");
    }
    UseManifestFiles(state, manifest);
  }
  if (state.backupFileList.empty()) return NotPossible(state, kNoBackup);
  // A backup goes back only onto the card it belongs to.
  confirmCard();

  if (state.targetType != kTargetEngine) {
    state.Log("  attempting to clean the CF.");
    // List the card again: the files a failed store wrote are not in the list taken before
    // the job, and left there they would stay on the restored card or fill it up.
    GetCFFilesArray(state, state.cardFileList);
    CleanCF(state, state.cardFileList, keepsWholeCard);
  }

  state.Log("  attempting to restore files.");
  const bool allBack = RestoreFiles(state, damaged);
  // What the failed store wrote beside the old files goes too, so the card is the old one and
  // its own reference verifies: in the job that wrote them every file the manifest does not
  // list (it lists every file the card held when this job began); in "Restore Only", whose
  // card may have gained files since, only package copies the backup does not hold.
  if (proven) RemoveFilesNotIn(state, manifest, restoreOnly);
  if (!allBack) {
    EndRestoreWith(state, kRestoreFailedText);
    return {.outcome = PutBack::kFailed, .manifest = std::nullopt};
  }
  PutBackResult result{.outcome = PutBack::kDone, .manifest = std::nullopt};
  if (proven) result.manifest = std::move(manifest);
  return result;
}

}  // namespace cw
