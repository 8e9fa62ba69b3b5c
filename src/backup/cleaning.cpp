#include "backup/cleaning.h"

#include "record/job_io.h"
#include "log/log_to_file.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/file_rules.h"

namespace cw {

namespace {

bool FileOpens(Platform& platform, const std::string& path) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (!file) return false;
  file->Close();
  return true;
}

}  // namespace

void CleanBackupFolder(JobState& state, const FileList& files) {
  state.Log("CleanBackupFolder");
  state.SetStatus("Cleaning Backup Folder\r\n");
  state.AppendDiagnostics("Cleaning Backup Folder\r\n");
  FileList doomed;
  for (const std::string& path : files) {
    // The system disk is touched only inside a backup folder.
    if (Contains(path, "_CF_BACKUP") || !Contains(path, "C:")) doomed.push_back(path);
  }
  DeleteFiles(state, doomed);
}

void CleanCF(JobState& state, FileList& files, bool keepsWholeCard) {
  state.Log("CleanCF");
  state.SetStatus("Cleaning Compact Flash\r\n");
  state.AppendDiagnostics("Cleaning Compact Flash\r\n");
  FileList doomed;
  for (std::string& path : files) {
    path = ToUpperAscii(path);
    // Only the maker's application files go; the OS image and root files are overwritten later.
    if (Contains(path, "\\BREVANT\\") && !FileIsSpeciallyProtected(state, path, keepsWholeCard))
      doomed.push_back(path);
  }
  DeleteFiles(state, doomed);
}

bool DeleteFiles(JobState& state, const FileList& files) {
  state.Log("DeleteFiles");
  state.SetProgressRange(0, 100);
  for (size_t i = 0; i < files.size(); ++i) {
    state.SetProgressPos(static_cast<int32_t>(i % 100));
    const std::string& path = files[i];
    if (FileOpens(state.platform, path)) {
      FixFileStatus(state.platform, state, path);
      if (!state.platform.DeleteFile(path))
        state.ShowMessage("Failed to delete the file.", MessageButtons::Ok, MessageIcon::None);
    }
    state.StopIfRequested();
  }
  state.Log("  end DeleteFiles.");
  return true;
}

}  // namespace cw
