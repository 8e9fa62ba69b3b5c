// Windows paths -> host paths: drive letters, the current folder, backslashes and
// case-insensitive names; and back, for host paths under a drive.
#include <sys/stat.h>

#include <utility>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

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
bool PosixPlatform::ResolveAsWritten(const std::string& path, size_t start, const std::string& base,
                                     std::string* hostPath, bool lookUp) {
  std::string written;
  if (!JoinAsWritten(path, start, base, &written)) return false;
  if (written == base || !lookUp || Exists(written)) {
    *hostPath = written;
    return true;
  }
  const std::string folder = ParentOf(written);
  if (!PathIsUnder(folder, base) || !Exists(folder)) return false;
  *hostPath = JoinHost(folder, folderNames_.Match(folder, NameOf(written)));
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
bool PosixPlatform::Resolve(const std::string& path, std::string* hostPath, bool lookUp) {
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

  if (ResolveAsWritten(path, restStart, current, hostPath, lookUp)) return true;

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
    std::string matched = exists ? folderNames_.Match(current, name, &found) : name;
    current = JoinHost(current, matched);
    exists = found;
  }
  *hostPath = current;
  return true;
}

bool PosixPlatform::AnotherCase(const std::string& path, std::string* hostPath) {
  const uint32_t error = GetLastError();
  std::string found;
  if (Resolve(path, &found) && found != *hostPath) {
    *hostPath = std::move(found);
    return true;
  }
  SetLastError(error);
  return false;
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

std::string PosixPlatform::DisplayPath(const std::string& path) {
  if (path.empty() || IsSeparator(path[0])) return path;  // a host path, or \\.\E:
  const int drive = DriveOfPath(path);
  if (drive >= 0 && drives_[drive].hostPath != "/") return path;
  const std::string host = ToHostPath(path);
  return host.empty() ? path : host;
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
