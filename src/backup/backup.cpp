#include "backup/backup.h"

#include <string>
#include <unordered_set>

#include "backup/backup_folder.h"
#include "backup/cleaning.h"
#include "job/job_io.h"
#include "job/job_values.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

namespace {

bool IsPanel() { return targetType == kTargetPanel3940 || targetType == kTargetPanel3950; }

// The transcript and log line of a step of the backup that failed on `path`.
bool BackupError(const char* what, const std::string& path) {
  const std::string error =
      Format("\r\n%s - %d - ", what, static_cast<int>(GetLastError())) + path + "\r\n";
  AppendDiagnostics(error);
  Log(error);
  return false;
}

// The folder that holds the backup folder and its mark: the data folder.
std::string HolderOf(const std::string& folder) {
  const size_t slash = folder.rfind('\\');
  return slash == std::string::npos ? folder : folder.substr(0, slash);
}

}  // namespace

bool BackupFiles(bool erase) {
  Log("BackupFiles");
  SetStatus("Backing up current files");
  AppendDiagnostics("Backing up current files");

  // Checked before the old backup is emptied, so that a refusal leaves it as it was.
  if (IsPanel() && !osOnCard && !osInPackage) {
    ShowMessage(
        "WinCE OS was neither found on the compact flash nor in the FWP file.\r\n"
        "Please choose a FWP file that contains the WinCE OS.",
        MessageButtons::Ok, MessageIcon::Warning);
    return false;
  }

  // Until every card file is copied and on disk, the folder holds only part of the card; the
  // mark says so to every later restore, in this run or another.
  std::unordered_set<std::string> foundFolders;
  if (!MarkBackupIncomplete(backupRoot, foundFolders))
    return BackupError("Backup Mark Error", BackupMarkName(backupRoot));

  CleanBackupFolder(backupFileList);
  Log("  backup folder cleaned, proceeding with file removal.");
  backupFileList.clear();

  SetProgressRange(0, 100);
  StartPhaseAmounts(kProgressBackup, static_cast<int64_t>(cardFileList.size()),
                    SizeOfFiles(cardFileList));

  int32_t copied = 0;
  for (const std::string& cardPath : cardFileList) {
    SetProgressPos(copied % 100);
    FixFileStatus(cardPath);
    std::string backupPath;
    if (!MapFolderPath(cardPath, globalFlashPath, backupRoot, &backupPath)) {
      SetLastError(kErrPathNotFound);
      return BackupError("Copy File Error", cardPath);
    }
    LogF("  trying to backup %s, beginning parsing.", backupPath.c_str());
    CreateMissingFolders(backupPath, foundFolders);

    Log("  attempting to copy source file to backup location.");
    if (!Sys().CopyFile(cardPath, backupPath, false))
      return BackupError("Copy File Error", backupPath);
    Log("    did the copy.");
    backupFileList.push_back(backupPath);
    CountFileDone(SizeOfFile(backupPath));
    ++copied;
    SetStatus(Format("%d Files backed up", copied));
    StopIfRequested();
  }

  // On the PC's disk before the card changes: a power cut or a crash of the PC must not take
  // the copies with it.
  Log("  flushing the backup to disk.");
  if (!Sys().FlushFiles(HolderOf(backupRoot), backupFileList))
    return BackupError("Backup Flush Error", backupRoot);
  if (!ClearBackupMark(backupRoot))
    return BackupError("Backup Mark Error", BackupMarkName(backupRoot));
  Log("  backup complete.");

  if (erase) {
    Log("  erasing the flash.");
    CleanCF(cardFileList);
  } else {
    Log("  elected not to erase the flash.");
  }
  return true;
}

}  // namespace cw
