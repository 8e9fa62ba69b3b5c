#include "backup/backup.h"

#include <string>
#include <unordered_set>

#include "backup/backup_folder.h"
#include "backup/cleaning.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

namespace {

// The transcript and log line of a step of the backup that failed on `path`.
bool BackupError(JobState& state, const char* what, const std::string& path) {
  const std::string error =
      Format("\r\n%s - %d - ", what, static_cast<int>(GetLastError())) + path + "\r\n";
  state.AppendDiagnostics(error);
  state.Log(error);
  return false;
}

// The folder that holds the backup folder and its mark: the data folder.
std::string HolderOf(const std::string& folder) {
  const size_t slash = folder.rfind('\\');
  return slash == std::string::npos ? folder : folder.substr(0, slash);
}

}  // namespace

bool BackupFiles(JobState& state, bool erase) {
  state.Log("BackupFiles");
  state.SetStatus("Backing up current files");
  state.AppendDiagnostics("Backing up current files");

  // Checked before the old backup is emptied, so that a refusal leaves it as it was.
  if (state.IsPanel() && !state.osOnCard && !state.osInPackage) {
    state.ShowMessage(
        "WinCE OS was neither found on the compact flash nor in the FWP file.\r\n"
        "Please choose a FWP file that contains the WinCE OS.",
        MessageButtons::Ok, MessageIcon::Warning);
    return false;
  }

  // Until every card file is copied and on disk, the folder holds only part of the card; the
  // mark says so to every later restore, in this run or another.
  std::unordered_set<std::string> foundFolders;
  if (!MarkBackupIncomplete(state, state.backupRoot, foundFolders))
    return BackupError(state, "Backup Mark Error", BackupMarkName(state.backupRoot));

  CleanBackupFolder(state, state.backupFileList);
  state.Log("  backup folder cleaned, proceeding with file removal.");
  state.backupFileList.clear();

  state.SetProgressRange(0, 100);
  const std::vector<uint64_t> sizes = SizesOfFiles(state.cardFileList);
  state.StartPhaseAmounts(kProgressBackup, static_cast<int64_t>(state.cardFileList.size()),
                          TotalOf(sizes));

  int32_t copied = 0;
  for (const std::string& cardPath : state.cardFileList) {
    state.SetProgressPos(copied % 100);
    FixFileStatus(state, cardPath);
    std::string backupPath;
    if (!MapFolderPath(cardPath, state.globalFlashPath, state.backupRoot, &backupPath)) {
      SetLastError(kErrPathNotFound);
      return BackupError(state, "Copy File Error", cardPath);
    }
    state.LogF("  trying to backup %s, beginning parsing.", backupPath.c_str());
    CreateMissingFolders(state, backupPath, foundFolders);

    state.Log("  attempting to copy source file to backup location.");
    if (!Sys().CopyFile(cardPath, backupPath, false))
      return BackupError(state, "Copy File Error", backupPath);
    state.Log("    did the copy.");
    state.backupFileList.push_back(backupPath);
    state.CountFileDone(sizes[static_cast<size_t>(copied)]);
    ++copied;
    state.SetStatus(Format("%d Files backed up", copied));
    state.StopIfRequested();
  }

  // On the PC's disk before the card changes: a power cut or a crash of the PC must not take
  // the copies with it.
  state.Log("  flushing the backup to disk.");
  if (!Sys().FlushFiles(HolderOf(state.backupRoot), state.backupFileList))
    return BackupError(state, "Backup Flush Error", state.backupRoot);
  if (!ClearBackupMark(state.backupRoot))
    return BackupError(state, "Backup Mark Error", BackupMarkName(state.backupRoot));
  state.Log("  backup complete.");

  if (erase) {
    state.Log("  erasing the flash.");
    CleanCF(state, state.cardFileList);
  } else {
    state.Log("  elected not to erase the flash.");
  }
  return true;
}

}  // namespace cw
