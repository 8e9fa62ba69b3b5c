#include "backup/cleaning.h"

#include "record/job_io.h"
#include "log/log_to_file.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/file_rules.h"

namespace cw {

namespace {

constexpr uint32_t kBlockingAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem;

bool FileOpens(const std::string& path) {
  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::Read);
  if (!file) return false;
  file->Close();
  return true;
}

// The attribute byte of the file's status; false when the status cannot be read.
bool ReadAttributes(const std::string& path, uint32_t* attributes) {
  FindEntry info;
  if (!Sys().GetFileInfo(path, &info)) return false;
  *attributes = info.attributes & 0xFF;
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

void CleanCF(JobState& state, FileList& files) {
  state.Log("CleanCF");
  state.SetStatus("Cleaning Compact Flash\r\n");
  state.AppendDiagnostics("Cleaning Compact Flash\r\n");
  FileList doomed;
  for (std::string& path : files) {
    path = ToUpperAscii(path);
    // Only the maker's application files go; the OS image and root files are overwritten later.
    if (Contains(path, "\\BREVANT\\") && !FileIsSpeciallyProtected(state, path))
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
    if (FileOpens(path)) {
      FixFileStatus(state, path);
      if (!Sys().DeleteFile(path))
        state.ShowMessage("Failed to delete the file.", MessageButtons::Ok, MessageIcon::None);
    }
    state.StopIfRequested();
  }
  state.Log("  end DeleteFiles.");
  return true;
}

bool FixFileStatus(JobState& state, const std::string& path, bool* cleared) {
  if (cleared != nullptr) *cleared = false;
  state.Log("FixFileStatus");
  state.LogF("  %s", path.c_str());

  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::Read);
  uint32_t attributes = 0;
  // A status that cannot be read counts as a file that cannot be opened.
  if (!file || !ReadAttributes(path, &attributes)) {
    state.Log("    failed to open the file.");
    return false;
  }
  state.LogF("    obtained file status, attributes: %x", attributes);

  if ((attributes & kBlockingAttributes) == 0) {
    state.Log("    attributes okay.");
    file->Close();
    state.Log("    file closed.");
    return true;
  }

  state.Log("    changing attributes.");
  // Attributes only: the file's times stay as they are.
  if (!Sys().SetFileAttributes(path, kAttrArchive)) {
    const uint32_t error = GetLastError();
    state.LogF("    SetStatus exception, cause: %d, IOsError: %d",
               static_cast<int>(FileErrorCauseOf(error)), static_cast<int>(error));
  }

  if (!ReadAttributes(path, &attributes) || (attributes & kBlockingAttributes) != 0) {
    const std::string message = path + " file status could not be correctly modified.";
    state.Log(message);
    state.ShowMessage(message, MessageButtons::Ok, MessageIcon::None);
    file->Close();
    return false;
  }
  file->Close();
  state.Log("    file closed.");
  if (cleared != nullptr) *cleared = true;
  return true;
}

}  // namespace cw
