// The case-insensitive name lookup in one host folder, with its memory of settled folders.
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <utility>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

constexpr time_t kSettledSeconds = 3;
constexpr size_t kMaxFolders = 256;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The one entry of `folder` that matches `name` ignoring case, else `name` (two or more
// match: then the name as given, which does not exist). For a folder that is still changing,
// as while a job writes into it: its names cannot be kept, so it is only read through.
std::string ScanForName(const std::string& folder, const std::string& name, bool* found) {
  *found = false;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return name;
  std::string match;
  int matches = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, name.c_str()) == 0) {  // made since the lookup above
      matches = 1;
      match = name;
      break;
    }
    if (SameNameIgnoringAsciiCase(entry->d_name, name) && ++matches == 1) {
      match = entry->d_name;
    }
  }
  ::closedir(dir);
  *found = matches == 1;
  return *found ? match : name;
}

}  // namespace

bool FolderNameCache::SameFolder(const Names& names, const struct stat& st) {
  return names.device == st.st_dev && names.inode == st.st_ino &&
         SameTime(names.modified, st.st_mtim) && SameTime(names.changed, st.st_ctim);
}

// The exact name, else the one entry matching ignoring case, else the name as given (then it
// does not exist: the exact name was not there).
std::string FolderNameCache::Lookup(const Names& names, const std::string& name, bool* found) {
  if (names.exact.contains(name)) {
    *found = true;
    return name;
  }
  const auto it = names.byUpper.find(UpperAscii(name));
  *found = it != names.byUpper.end() && it->second.second == 1;
  return *found ? it->second.first : name;
}

std::string FolderNameCache::Match(const std::string& folder, const std::string& name,
                                   bool* found) {
  return MatchAt(folder, name, ::time(nullptr), found);
}

std::string FolderNameCache::MatchAt(const std::string& folder, const std::string& name, time_t now,
                                     bool* found) {
  bool ignored = false;
  if (found == nullptr) found = &ignored;
  struct stat folderStat;
  const bool folderKnown = ::stat(folder.c_str(), &folderStat) == 0;
  if (folderKnown) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = folders_.find(folder);
    if (it != folders_.end() && SameFolder(it->second, folderStat)) {
      return Lookup(it->second, name, found);
    }
  }
  struct stat st;
  *found = ::lstat(JoinHost(folder, name).c_str(), &st) == 0;
  if (*found || !folderKnown) return name;
  const time_t settled = now - kSettledSeconds;
  if (folderStat.st_mtim.tv_sec > settled || folderStat.st_ctim.tv_sec > settled) {
    return ScanForName(folder, name, found);
  }
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return name;
  Names names{.device = folderStat.st_dev,
              .inode = folderStat.st_ino,
              .modified = folderStat.st_mtim,
              .changed = folderStat.st_ctim,
              .exact = {},
              .byUpper = {}};
  while (const dirent* entry = ::readdir(dir)) {
    std::string entryName = entry->d_name;
    auto& slot = names.byUpper[UpperAscii(entryName)];
    slot.first = entryName;
    ++slot.second;
    names.exact.insert(std::move(entryName));
  }
  ::closedir(dir);
  const std::string match = Lookup(names, name, found);
  std::lock_guard<std::mutex> lock(mutex_);
  if (folders_.size() >= kMaxFolders) folders_.clear();
  folders_[folder] = std::move(names);
  return match;
}

}  // namespace cw::posix
