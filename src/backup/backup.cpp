#include "backup/backup.h"

#include <string>
#include <unordered_set>

#include "backup/cleaning.h"
#include "job/job_io.h"
#include "job/job_values.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

namespace {

bool IsPanel() { return targetType == kTargetPanel3940 || targetType == kTargetPanel3950; }

// Creates the missing folders above `path` from the top down: every prefix that ends just
// before a backslash is a folder; the file name is not. (The empty prefix stands for the root
// of the current drive, which always exists.) `found` holds the folders already seen to hold
// something: the backup only adds files, so they keep matching, and listing a folder again
// for each file copied into it would take time growing with the square of its size.
void CreateMissingFolders(const std::string& path, std::unordered_set<std::string>& found) {
  for (size_t p = path.find('\\', 1); p != std::string::npos; p = path.find('\\', p + 1)) {
    const std::string folder = path.substr(0, p);
    if (found.contains(folder)) continue;
    std::vector<FindEntry> matches;
    if (Sys().FindFiles(folder + "\\*.*", &matches)) {
      found.insert(folder);
      continue;
    }
    LogF("  trying to create %s", folder.c_str());
    if (!Sys().CreateDirectory(folder))
      LogF("  create directory failed with status of %d", static_cast<int>(GetLastError()));
  }
}

}  // namespace

bool BackupFiles(bool erase) {
  Log("BackupFiles");
  SetStatus("Backing up current files");
  AppendDiagnostics("Backing up current files");
  // Until every card file is copied, the backup folder holds only part of the card.
  backupIncomplete = true;

  CleanBackupFolder(backupFileList);
  Log("  backup folder cleaned, proceeding with file removal.");
  backupFileList.clear();

  SetProgressRange(0, 100);

  if (IsPanel() && !osOnCard && !osInPackage) {
    ShowMessage(
        "WinCE OS was neither found on the compact flash nor in the FWP file.\r\n"
        "Please choose a FWP file that contains the WinCE OS.",
        MessageButtons::Ok, MessageIcon::Warning);
    return false;
  }

  int32_t copied = 0;
  std::unordered_set<std::string> foundFolders;
  for (const std::string& cardPath : cardFileList) {
    SetProgressPos(copied % 100);
    FixFileStatus(cardPath);
    const std::string backupPath = ReplaceAll(cardPath, globalFlashPath, backupRoot);
    LogF("  trying to backup %s, beginning parsing.", backupPath.c_str());
    CreateMissingFolders(backupPath, foundFolders);

    Log("  attempting to copy source file to backup location.");
    if (!Sys().CopyFile(cardPath, backupPath, false)) {
      const std::string error =
          Format("\r\nCopy File Error - %d - ", static_cast<int>(GetLastError())) + backupPath +
          "\r\n";
      AppendDiagnostics(error);
      Log(error);
      return false;
    }
    Log("    did the copy.");
    backupFileList.push_back(backupPath);
    ++copied;
    SetStatus(Format("%d Files backed up", copied));
    StopIfRequested();
  }
  Log("  backup complete.");
  backupIncomplete = false;

  if (erase) {
    Log("  erasing the flash.");
    CleanCF(cardFileList);
  } else {
    Log("  elected not to erase the flash.");
  }
  return true;
}

}  // namespace cw
