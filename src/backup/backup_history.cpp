#include "backup/backup_history.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "backup/backup_folder.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "record/job_io.h"
#include "record/job_state.h"

namespace cw {

namespace {

std::vector<FindEntry> EntriesOf(Platform& platform, const std::string& folder) {
  std::vector<FindEntry> entries;
  if (!platform.FindFiles(folder + "\\*.*", &entries)) return {};
  std::erase_if(entries, [](const FindEntry& e) { return e.name == "." || e.name == ".."; });
  return entries;
}

bool Exists(Platform& platform, const std::string& path) {
  FindEntry info;
  return platform.GetFileInfo(path, &info);
}

// "2026-12-08 04:45:12" -> "2026-12-08_044512"; a date out of that form gives the PC's time now.
std::string DatePart(Platform& platform, const std::string& date) {
  if (date.size() == 19 && date[10] == ' ' && date[13] == ':' && date[16] == ':')
    return date.substr(0, 10) + "_" + date.substr(11, 2) + date.substr(14, 2) + date.substr(17, 2);
  const LocalTime now = platform.GetLocalTime();
  return Format("%04d-%02d-%02d_%02d%02d%02d", now.year, now.month, now.day, now.hour,
                now.minute, now.second);
}

// A free name in the history for a backup taken at `date` from the card `serial`.
std::string EntryName(Platform& platform, const std::string& history, const std::string& date,
                      uint32_t serial) {
  const std::string base = DatePart(platform, date) + "_" + SerialText(serial);
  std::string name = base;
  for (int n = 2; Exists(platform, history + "\\" + name) ||
                  Exists(platform, BackupManifestName(history + "\\" + name));
       ++n)
    name = base + Format("_%d", n);
  return name;
}

// Deletes a folder with everything below it; false when anything stays.
bool DeleteTree(Platform& platform, const std::string& folder) {
  bool whole = true;
  for (const FindEntry& entry : EntriesOf(platform, folder)) {
    const std::string path = folder + "\\" + entry.name;
    if (entry.IsDirectory()) {
      whole = DeleteTree(platform, path) && whole;
    } else {
      if (entry.attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem))
        platform.SetFileAttributes(path, kAttrArchive);
      whole = platform.DeleteFile(path) && whole;
    }
  }
  return whole && platform.RemoveDirectory(folder);
}

// Removes a file that may be absent; false only when it is there and stays.
bool RemoveIfThere(Platform& platform, const std::string& path) {
  return platform.DeleteFile(path) || GetLastError() == kErrFileNotFound ||
         GetLastError() == kErrPathNotFound;
}

BackupEntry Describe(Platform& platform, const std::string& folder, const std::string& name,
                     bool inHistory, bool check) {
  BackupEntry entry;
  entry.name = name;
  entry.folder = folder;
  entry.inHistory = inHistory;
  entry.incomplete = BackupMarkedIncomplete(platform, folder);
  entry.manifestState = ReadManifest(platform, folder, &entry.manifest);
  if (entry.manifestState == ManifestState::kRead) {
    entry.files = entry.manifest.files.size();
    entry.bytes = entry.manifest.TotalBytes();
    if (check) {
      entry.problem = CheckBackupAgainstManifest(platform, folder, entry.manifest);
      entry.checked = true;
    }
    return entry;
  }
  std::vector<std::string> pending{folder};
  while (!pending.empty()) {
    const std::string at = pending.back();
    pending.pop_back();
    for (const FindEntry& e : EntriesOf(platform, at)) {
      if (e.IsDirectory()) {
        pending.push_back(at + "\\" + e.name);
      } else {
        ++entry.files;
        entry.bytes += e.size;
      }
    }
  }
  return entry;
}

}  // namespace

std::string HistoryFolderOf(const std::string& backupFolder) { return backupFolder + "_HISTORY"; }

bool IsFolder(Platform& platform, const std::string& path) {
  FindEntry info;
  return platform.GetFileInfo(path, &info) && info.IsDirectory();
}

int BackupsKept(Platform& platform, int requested, const std::string& dataPath) {
  if (requested >= 0) return requested;
  std::unique_ptr<File> file = platform.OpenFile(dataPath + "\\BackupsKept.txt", OpenMode::Read);
  char text[16] = {};
  uint32_t got = 0;
  if (!file || !file->Read(text, sizeof text - 1, &got)) return kDefaultBackupsKept;
  int kept = 0;
  uint32_t i = 0;
  for (; i < got && text[i] >= '0' && text[i] <= '9' && kept < 10000; ++i)
    kept = kept * 10 + (text[i] - '0');
  // Anything but a number, a line end or blanks after it is not a setting.
  const bool rest = std::all_of(text + i, text + got, [](char c) { return c == '\r' || c == '\n' || c == ' '; });
  return i > 0 && rest ? kept : kDefaultBackupsKept;
}

bool MoveBackupToHistory(JobState& state, const std::string& backupFolder, bool incomplete) {
  const std::string manifestPath = BackupManifestName(backupFolder);
  if (!IsFolder(state.platform, backupFolder)) {
    // A manifest without its folder describes nothing, and must not describe the next one.
    if (Exists(state.platform, manifestPath)) {
      state.LogF("  removing %s, which has no backup folder.",
                 state.platform.DisplayPath(manifestPath).c_str());
      if (!state.platform.DeleteFile(manifestPath)) return false;
    }
    return true;
  }
  BackupManifest manifest;
  const bool hasManifest =
      ReadManifest(state.platform, backupFolder, &manifest) == ManifestState::kRead;
  const std::string history = HistoryFolderOf(backupFolder);
  const std::string name =
      EntryName(state.platform, history, hasManifest ? manifest.date : std::string(),
                hasManifest ? manifest.cardSerial : 0);
  const std::string entry = history + "\\" + name;
  state.LogF("  moving the previous backup into the history as %s.",
             state.platform.DisplayPath(entry).c_str());

  // A backup that never completed stays marked in the history, from before it gets there.
  std::unordered_set<std::string> found;
  if (incomplete && !MarkBackupIncomplete(state, entry, found)) return false;
  if (!incomplete) CreateMissingFolders(state, entry, found);
  if (!state.platform.MoveFile(backupFolder, entry)) return false;
  if (Exists(state.platform, manifestPath) &&
      !state.platform.MoveFile(manifestPath, BackupManifestName(entry))) {
    const uint32_t error = GetLastError();
    // Back where it was, whole: the previous backup is never left split.
    state.platform.MoveFile(entry, backupFolder);
    SetLastError(error);
    return false;
  }
  return true;
}

void PruneHistory(JobState& state, const std::string& backupFolder, int keep) {
  const std::string history = HistoryFolderOf(backupFolder);
  std::vector<std::string> names;
  for (const FindEntry& e : EntriesOf(state.platform, history))
    if (e.IsDirectory()) names.push_back(e.name);
  // Named by date first: the newest sort last.
  std::sort(names.begin(), names.end(), std::greater<>());
  for (size_t i = static_cast<size_t>(std::max(keep, 0)); i < names.size(); ++i) {
    const std::string entry = history + "\\" + names[i];
    state.LogF("  removing the old backup %s.", state.platform.DisplayPath(entry).c_str());
    // Folder first: while its manifest stays, what is left of it fails every check.
    if (!DeleteTree(state.platform, entry) ||
        !RemoveIfThere(state.platform, BackupManifestName(entry)) ||
        !RemoveIfThere(state.platform, BackupMarkName(entry))) {
      state.LogF("  could not remove all of %s (error %d).",
                 state.platform.DisplayPath(entry).c_str(),
                 static_cast<int>(GetLastError()));
    }
  }
}

std::vector<BackupEntry> ListBackups(Platform& platform, const std::string& backupFolder,
                                     bool check) {
  std::vector<BackupEntry> entries;
  if (IsFolder(platform, backupFolder)) {
    const size_t slash = backupFolder.rfind('\\');
    entries.push_back(
        Describe(platform, backupFolder, backupFolder.substr(slash + 1), false, check));
  }
  const std::string history = HistoryFolderOf(backupFolder);
  std::vector<std::string> names;
  for (const FindEntry& e : EntriesOf(platform, history))
    if (e.IsDirectory()) names.push_back(e.name);
  std::sort(names.begin(), names.end(), std::greater<>());
  for (const std::string& name : names)
    entries.push_back(Describe(platform, history + "\\" + name, name, true, check));
  return entries;
}

std::string CheckBackupAgainstManifest(Platform& platform, const std::string& folder,
                                       const BackupManifest& manifest) {
  for (const BackupManifestFile& file : manifest.files) {
    const std::string problem = CheckBackupCopy(platform, folder, file);
    if (!problem.empty()) return file.path + ": " + problem;
  }
  return std::string();
}

}  // namespace cw
