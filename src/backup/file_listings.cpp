#include "backup/file_listings.h"

#include <vector>

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

}  // namespace

void GetFolderArray(JobState& state, FileList& folders) {
  state.Log("GetFolderArray");
  // Index-based: the entries appended here are walked in their turn.
  for (size_t i = 0; i < folders.size(); ++i) {
    const std::string pattern = folders[i];
    for (const FindEntry& entry : Search(state.platform, pattern)) {
      if (!entry.IsDirectory()) continue;
      folders.push_back(FolderOf(pattern) + entry.name + "\\*.*");
      state.LogF("  located %s", state.platform.DisplayPath(folders.back()).c_str());
    }
  }
}

void GetFileArray(JobState& state, const FileList& folders, FileList& files) {
  state.Log("GetFileArray");
  const size_t count = folders.size();
  for (size_t i = 0; i < count; ++i) {
    for (const FindEntry& entry : Search(state.platform, folders[i])) {
      if (entry.IsDirectory()) continue;
      files.push_back(ToUpperAscii(FolderOf(folders[i]) + entry.name));
      state.LogF("  located %s", state.platform.DisplayPath(files.back()).c_str());
    }
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
  GetFolderArray(state, folders);
  GetFileArray(state, folders, files);
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
