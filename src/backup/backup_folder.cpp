#include "backup/backup_folder.h"

#include <memory>
#include <vector>

#include "record/job_io.h"
#include "platform/folder_chain.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

namespace {

constexpr const char* kMarkText =
    "A backup into the folder beside this file was begun and has not finished.\r\n"
    "Cardwright will not restore from that folder.\r\n";

}  // namespace

bool MapFolderPath(const std::string& path, const std::string& from, const std::string& to,
                   std::string* mapped) {
  return !from.empty() && ReplacePrefix(path, from, to, mapped);
}

void CreateMissingFolders(JobState& state, const std::string& path,
                          std::unordered_set<std::string>& found) {
  // Every prefix that ends just before a backslash is a folder; the file name is not.
  for (const std::string& folder : FolderPrefixes(path)) {
    // "E:": the root of a drive, which a search of an empty card's root would not find.
    if (folder.size() == 2 && folder[1] == ':') continue;
    if (found.contains(folder)) continue;
    std::vector<FindEntry> matches;
    if (state.platform.FindFiles(folder + "\\*.*", &matches)) {
      found.insert(folder);
      continue;
    }
    state.LogF("  trying to create %s", state.platform.DisplayPath(folder).c_str());
    if (!state.platform.CreateDirectory(folder))
      state.LogF("  create directory failed with status of %d", static_cast<int>(GetLastError()));
  }
}

std::string BackupMarkName(const std::string& backupFolder) {
  return backupFolder + ".incomplete";
}

bool MarkBackupIncomplete(JobState& state, const std::string& backupFolder,
                          std::unordered_set<std::string>& found) {
  const std::string mark = BackupMarkName(backupFolder);
  CreateMissingFolders(state, mark, found);
  FindEntry before;
  const bool wasMarked = state.platform.GetFileInfo(mark, &before);
  std::unique_ptr<File> file = state.platform.OpenFile(mark, OpenMode::CreateAlways);
  if (!file) return false;
  const std::string text = kMarkText;
  // On stable storage before the old backup is touched: a crash while it is being emptied
  // must find the mark.
  bool ok = file->Write(text.data(), static_cast<uint32_t>(text.size())) && file->Flush();
  uint32_t error = GetLastError();
  if (!file->Close() && ok) {
    ok = false;
    error = GetLastError();
  }
  if (ok) return true;
  // A whole backup stays trusted: a mark left half-made would disown it. A mark that was
  // there before keeps saying what it said.
  if (!wasMarked) state.platform.DeleteFile(mark);
  SetLastError(error);
  return false;
}

bool ClearBackupMark(Platform& platform, const std::string& backupFolder) {
  return platform.DeleteFile(BackupMarkName(backupFolder));
}

bool BackupMarkedIncomplete(Platform& platform, const std::string& backupFolder) {
  if (backupFolder.empty()) return false;
  FindEntry info;
  if (platform.GetFileInfo(BackupMarkName(backupFolder), &info)) return true;
  const uint32_t error = GetLastError();
  return error != kErrFileNotFound && error != kErrPathNotFound;
}

}  // namespace cw
