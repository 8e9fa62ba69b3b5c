// Find-first/next: one folder, a name pattern, the host's directory order. "." and ".." are
// never returned (every caller skips them anyway, and a drive root has none on Windows).
#include <dirent.h>
#include <sys/stat.h>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

bool PosixPlatform::FillEntry(const std::string& hostPath, const std::string& name,
                              FindEntry* entry, const FolderFs* folder) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0 && ::lstat(hostPath.c_str(), &st) != 0) {
    return FailErrno(errno, hostPath);
  }
  entry->name = name;
  entry->attributes = AttributesOf(hostPath, st, folder);
  entry->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  entry->writeTime = WriteTimeOf(st);
  return true;
}

bool PosixPlatform::FindFiles(const std::string& pattern, std::vector<FindEntry>* matches) {
  matches->clear();
  const size_t separator = pattern.find_last_of("\\/");
  std::string folder;
  std::string name;
  if (separator != std::string::npos) {
    folder = pattern.substr(0, separator + 1);
    name = pattern.substr(separator + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    folder = pattern.substr(0, 2);
    name = pattern.substr(2);
  } else {
    folder = ".";
    name = pattern;
  }
  std::string folderHost;
  if (name.empty() && separator == std::string::npos) {
    // A bare drive ("E:") names the drive's folder, which exists whenever the drive does;
    // CreateFolderPath tests it before the folders below it.
    FindEntry entry;
    if (!Resolve(folder, &folderHost) || !FillEntry(folderHost, folder, &entry)) return false;
    matches->push_back(entry);
    SetLastError(kErrSuccess);
    return true;
  }
  if (name.empty()) return FailWith(kErrFileNotFound);  // "E:\DATA\" finds nothing, as on Windows
  if (!Resolve(folder, &folderHost)) return false;

  if (!HasWildcard(name)) {
    const std::string matched = folderNames_.Match(folderHost, name);
    FindEntry entry;
    if (!FillEntry(JoinHost(folderHost, matched), matched, &entry)) return false;
    matches->push_back(entry);
    SetLastError(kErrSuccess);
    return true;
  }
  DIR* dir = ::opendir(folderHost.c_str());
  if (dir == nullptr) {
    return (errno == ENOENT || errno == ENOTDIR) ? FailWith(kErrPathNotFound)
                                                 : FailErrno(errno, folderHost);
  }
  struct stat folderStat;
  std::optional<FolderFs> folderFs;
  if (::fstat(::dirfd(dir), &folderStat) == 0) {
    folderFs = FolderFs{folderStat.st_dev, OnFat(folderHost)};
  }
  while (const dirent* found = ::readdir(dir)) {
    const std::string entryName = found->d_name;
    if (entryName == "." || entryName == ".." || !WildcardMatch(name, entryName)) continue;
    FindEntry entry;
    if (FillEntry(JoinHost(folderHost, entryName), entryName, &entry,
                  folderFs ? &*folderFs : nullptr)) {
      matches->push_back(entry);
    }
  }
  ::closedir(dir);
  if (matches->empty()) return FailWith(kErrFileNotFound);
  SetLastError(kErrSuccess);
  return true;
}

bool PosixPlatform::GetFileInfo(const std::string& path, FindEntry* info) {
  // Asked as written first; only a missing name is looked for in any case.
  std::string host;
  if (!Resolve(path, &host, false)) return false;
  if (!FillEntry(host, NameOf(host), info) &&
      (!AnotherCase(path, &host) || !FillEntry(host, NameOf(host), info))) {
    return false;
  }
  SetLastError(kErrSuccess);
  return true;
}

}  // namespace cw::posix
