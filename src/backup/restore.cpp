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

}  // namespace cw
