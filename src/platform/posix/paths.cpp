// Windows paths <-> host paths: drive letters, backslashes, case-insensitive names.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

std::string CurrentHostFolder() {
  std::string buffer(4096, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return "/";
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string text) {
  for (char& c : text) c = UpperAscii(c);
  return text;
}

bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

std::string JoinHost(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string ParentOf(const std::string& hostPath) {
  size_t end = hostPath.size();
  while (end > 1 && hostPath[end - 1] == '/') --end;
  size_t slash = hostPath.rfind('/', end - 1);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

std::string NameOf(const std::string& hostPath) {
  size_t end = hostPath.size();
  while (end > 1 && hostPath[end - 1] == '/') --end;
  size_t slash = hostPath.rfind('/', end - 1);
  size_t begin = slash == std::string::npos ? 0 : slash + 1;
  return hostPath.substr(begin, end - begin);
}

bool PathIsUnder(const std::string& path, const std::string& root) {
  if (root == "/") return !path.empty() && path[0] == '/';
  if (path.compare(0, root.size(), root) != 0) return false;
  return path.size() == root.size() || path[root.size()] == '/';
}

std::string NormalHostPath(const std::string& path) {
  std::string absolute =
      (!path.empty() && path[0] == '/') ? path : JoinHost(CurrentHostFolder(), path);
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= absolute.size()) {
    size_t slash = absolute.find('/', start);
    if (slash == std::string::npos) slash = absolute.size();
    std::string part = absolute.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

namespace {

// A case-insensitive lookup scans the whole folder. The job's own paths are upper-cased (the
// data folder, the backup folder), so without a memory every log line and every backup copy
// would scan the same unchanged folders again: "/", "/home", the home folder. A folder's
// names are kept while its identity and times stay the same, and only when those times lie a
// few seconds in the past: timestamps are coarse (2 s on FAT), so a folder changed again
// within the same tick would otherwise look unchanged.
struct FolderNames {
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{}, changed{};
  std::unordered_set<std::string> exact;
  // Upper-cased name -> the entry's own name and how many entries share that upper-case form.
  std::unordered_map<std::string, std::pair<std::string, int>> byUpper;
};

constexpr time_t kSettledSeconds = 3;
constexpr size_t kMaxFolders = 256;
std::mutex folderNamesMutex;
std::unordered_map<std::string, FolderNames> folderNames;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameFolder(const FolderNames& names, const struct stat& st) {
  return names.device == st.st_dev && names.inode == st.st_ino &&
         SameTime(names.modified, st.st_mtim) && SameTime(names.changed, st.st_ctim);
}

// The exact name, else the one entry matching ignoring case, else the name as given (then it
// does not exist: the exact name was not there).
std::string Lookup(const FolderNames& names, const std::string& name, bool* found) {
  if (names.exact.contains(name)) {
    *found = true;
    return name;
  }
  const auto it = names.byUpper.find(UpperAscii(name));
  *found = it != names.byUpper.end() && it->second.second == 1;
  return *found ? it->second.first : name;
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

std::string MatchComponent(const std::string& folder, const std::string& name, bool* found) {
  return MatchComponentAt(folder, name, ::time(nullptr), found);
}

std::string MatchComponentAt(const std::string& folder, const std::string& name, time_t now,
                             bool* found) {
  bool ignored = false;
  if (found == nullptr) found = &ignored;
  struct stat folderStat;
  const bool folderKnown = ::stat(folder.c_str(), &folderStat) == 0;
  if (folderKnown) {
    std::lock_guard<std::mutex> lock(folderNamesMutex);
    const auto it = folderNames.find(folder);
    if (it != folderNames.end() && SameFolder(it->second, folderStat)) {
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
  FolderNames names{.device = folderStat.st_dev, .inode = folderStat.st_ino,
                    .modified = folderStat.st_mtim, .changed = folderStat.st_ctim, .exact = {},
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
  std::lock_guard<std::mutex> lock(folderNamesMutex);
  if (folderNames.size() >= kMaxFolders) folderNames.clear();
  folderNames[folder] = std::move(names);
  return match;
}

namespace {

// The components of path[start...] joined below `base` exactly as written; false when one is
// "..", whose meaning depends on where the walk stands.
bool JoinAsWritten(const std::string& path, size_t start, std::string base, std::string* joined) {
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") return false;
    base = JoinHost(base, name);
  }
  *joined = std::move(base);
  return true;
}

bool Exists(const std::string& hostPath) {
  struct stat st;
  return ::lstat(hostPath.c_str(), &st) == 0;
}

}  // namespace

// The walk below matches each component in its folder, preferring the exact name; when every
// component exists exactly as written (always so on a FAT card, whose driver ignores case
// itself) that walk ends at the path as written, which one lookup by the kernel proves. The same
// holds for every folder of a file about to be created: then only the last name is matched.
// Nothing is remembered, so a change made by anyone is seen at once.
bool PosixPlatform::ResolveAsWritten(const std::string& path, size_t start,
                                     const std::string& base, std::string* hostPath) {
  std::string written;
  if (!JoinAsWritten(path, start, base, &written)) return false;
  if (written == base || Exists(written)) {
    *hostPath = written;
    return true;
  }
  const std::string folder = ParentOf(written);
  if (!PathIsUnder(folder, base) || !Exists(folder)) return false;
  *hostPath = JoinHost(folder, MatchComponent(folder, NameOf(written)));
  return true;
}

// The job spells the paths of its data in capitals ("C:\HOME\TECH\DOCUMENTS\..."), which the
// host's folders above the documents folder do not match as written, so each would be walked
// folder by folder from the root. The documents folder the platform reported is that folder
// whatever the case of its spelling: while it is still there (the same folder, not one made
// again since), the rest of the path is matched from it as any other path.
bool PosixPlatform::BelowDocuments(const std::string& path, std::string* hostFolder,
                                   size_t* restStart) {
  std::lock_guard<std::mutex> lock(documentsMutex_);
  if (!documents_) return false;
  const std::string& prefix = documents_->windowsPath;
  if (path.size() < prefix.size() ||
      !SameNameIgnoringAsciiCase(std::string_view(path).substr(0, prefix.size()), prefix) ||
      (path.size() > prefix.size() && !IsSeparator(path[prefix.size()]))) {
    return false;
  }
  struct stat st;
  if (::stat(documents_->hostPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_dev != documents_->device || st.st_ino != documents_->inode) {
    return false;
  }
  *hostFolder = documents_->hostPath;
  *restStart = prefix.size();
  return true;
}

// Rules: "E:..." starts at drive E:'s folder; "\..." at the root of the current folder's drive;
// "/..." is already a host path and is taken as given; anything else starts at the current
// folder. "\\.\E:" is the volume of E:, so it names E:'s folder. Other "\\" paths (network
// shares) do not exist here.
bool PosixPlatform::Resolve(const std::string& path, std::string* hostPath) {
  if (path.empty()) return FailWith(kErrPathNotFound);
  if (path[0] == '/') {
    *hostPath = path;
    return true;
  }
  std::string current;
  std::string floor;  // ".." never climbs above a drive's root
  size_t restStart = 0;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
    int index = DriveIndex(path[0]);
    if (index < 0) return FailWith(kErrPathNotFound);
    if (!EnsureMounted(index)) return false;
    floor = drives_[index].hostPath;
    if (!BelowDocuments(path, &current, &restStart)) {
      current = floor;
      restStart = 2;
    }
  } else if (path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':') {
    int index = DriveIndex(path[4]);
    if (index < 0) return FailWith(kErrFileNotFound);
    if (!EnsureMounted(index)) return false;
    *hostPath = drives_[index].hostPath;
    return true;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return FailWith(kErrPathNotFound);
  } else if (IsSeparator(path[0])) {
    int index = DriveOfPath(GetCurrentDirectory());
    current = floor = index < 0 ? std::string("/") : drives_[index].hostPath;
  } else {
    current = CurrentHostFolder();
    floor = std::string(1, '/');
  }

  if (ResolveAsWritten(path, restStart, current, hostPath)) return true;

  bool exists = true;  // once a component is missing, nothing below it can match
  size_t start = restStart;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (current != floor) current = ParentOf(current);
      continue;
    }
    bool found = false;
    std::string matched = exists ? MatchComponent(current, name, &found) : name;
    current = JoinHost(current, matched);
    exists = found;
  }
  *hostPath = current;
  return true;
}

std::string PosixPlatform::HostToWindows(const std::string& hostPath) const {
  const std::string normal = NormalHostPath(hostPath);
  const Drive* best = nullptr;
  for (const Drive& drive : drives_) {
    if (PathIsUnder(normal, drive.hostPath) &&
        (best == nullptr || drive.hostPath.size() > best->hostPath.size())) {
      best = &drive;
    }
  }
  if (best == nullptr) return normal;
  std::string rest =
      best->hostPath == "/" ? normal.substr(1) : normal.substr(best->hostPath.size());
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  return std::string(1, best->letter) + ":\\" + rest;
}

std::string PosixPlatform::ToHostPath(const std::string& path) {
  std::string host;
  return Resolve(path, &host) ? host : std::string();
}

int PosixPlatform::DriveIndex(char letter) const {
  const char upper = UpperAscii(letter);
  for (size_t i = 0; i < drives_.size(); ++i) {
    if (drives_[i].letter == upper) return static_cast<int>(i);
  }
  return -1;
}

int PosixPlatform::DriveOfPath(const std::string& path) const {
  if (path.size() < 2 || !IsDriveLetter(path[0]) || path[1] != ':') return -1;
  return DriveIndex(path[0]);
}

int PosixPlatform::DriveOfRoot(const std::string& rootPath) const {
  if (rootPath.size() == 2 || (rootPath.size() == 3 && IsSeparator(rootPath[2]))) {
    return DriveOfPath(rootPath);
  }
  return -1;
}

}  // namespace cw::posix
