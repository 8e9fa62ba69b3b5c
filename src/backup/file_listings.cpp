#include "backup/file_listings.h"

#include <vector>

#include "log/log_to_file.h"
#include "record/job_io.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

namespace {

// The entries a pattern matches, without "." and "..". Nothing matched is an empty folder.
std::vector<FindEntry> Search(Platform& platform, const std::string& pattern) {
  std::vector<FindEntry> matches;
  if (!platform.FindFiles(pattern, &matches)) return {};
  std::erase_if(matches, [](const FindEntry& e) { return e.name == "." || e.name == ".."; });
  return matches;
}

// "E:\DATA\*.*" -> "E:\DATA\": the folder part of a pattern, with its backslash.
std::string FolderOf(const std::string& pattern) {
  const size_t slash = pattern.rfind('\\');
  return slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
}

// The folders below each of `folders` appended breadth first; with `fileNames`, each folder's
// files as its search found them, so that the file listing after it searches no folder again.
// Each folder's lines reach the log together.
void FindFolders(JobState& state, FileList& folders, std::vector<FileList>* fileNames) {
  state.Log("GetFolderArray");
  // Index-based: the entries appended here are walked in their turn.
  for (size_t i = 0; i < folders.size(); ++i) {
    LogBatch lines(state.job.log);
    const std::string pattern = folders[i];
    if (fileNames != nullptr) fileNames->emplace_back();
    for (const FindEntry& entry : Search(state.platform, pattern)) {
      if (!entry.IsDirectory()) {
        if (fileNames != nullptr) fileNames->back().push_back(entry.name);
        continue;
      }
      folders.push_back(FolderOf(pattern) + entry.name + "\\*.*");
      state.LogF("  located %s", state.platform.DisplayPath(folders.back()).c_str());
    }
  }
}

// A folder's files, upper-cased, appended to `files` and said in the log together.
void AddFiles(JobState& state, const std::string& pattern, const FileList& names,
              FileList& files) {
  LogBatch lines(state.job.log);
  for (const std::string& name : names) {
    files.push_back(ToUpperAscii(FolderOf(pattern) + name));
    state.LogF("  located %s", state.platform.DisplayPath(files.back()).c_str());
  }
}

}  // namespace

void GetFolderArray(JobState& state, FileList& folders) { FindFolders(state, folders, nullptr); }

void GetFileArray(JobState& state, const FileList& folders, FileList& files) {
  state.Log("GetFileArray");
  const size_t count = folders.size();
  for (size_t i = 0; i < count; ++i) {
    FileList names;
    for (const FindEntry& entry : Search(state.platform, folders[i]))
      if (!entry.IsDirectory()) names.push_back(entry.name);
    AddFiles(state, folders[i], names, files);
  }
}

void GetCFFilesArray(JobState& state, FileList& files) {
  state.Log("GetCFFilesArray");
  const size_t folders = GetFilesBelow(state, state.globalFlashPath, files);
  state.LogF("  there are %d items in the FolderArray.", static_cast<int>(folders));
  state.LogF("  there are %d items in the files array.", static_cast<int>(files.size()));
}

size_t GetFilesBelow(JobState& state, const std::string& root, FileList& files) {
  files.clear();
  FileList folders{root + "\\*.*"};
  std::vector<FileList> fileNames;
  FindFolders(state, folders, &fileNames);
  state.Log("GetFileArray");
  for (size_t i = 0; i < folders.size(); ++i) AddFiles(state, folders[i], fileNames[i], files);
  return folders.size();
}

std::string BackupRootForTarget(const JobState& state, const std::string& dataPath,
                                bool panelAsked) {
  // A card that cannot tell its kind is a Panel's when the user asked for Panel files.
  const bool panel = state.IsPanel() || (state.targetType == kTargetUnknown && panelAsked);
  return dataPath + (panel ? "\\QUORVANE_PANEL_CF_BACKUP" : "\\QUORVANE_ENGINE_CF_BACKUP");
}

void GetBackupFilesArray(JobState& state, const std::string& root, FileList& files) {
  state.Log("GetBackupFilesArray");
  state.backupRoot = root;
  state.LogF("  the backup root is %s", state.platform.DisplayPath(state.backupRoot).c_str());
  GetFilesBelow(state, state.backupRoot, files);
}

}  // namespace cw
