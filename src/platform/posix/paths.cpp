// Windows paths <-> host paths: drive letters, backslashes, case-insensitive names.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool SameNameIgnoringAsciiCase(const std::string& a, const std::string& b) {
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

std::string MatchComponent(const std::string& folder, const std::string& name) {
  struct stat st;
  if (::lstat(JoinHost(folder, name).c_str(), &st) == 0) return name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return name;
  std::string match;
  int matches = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (SameNameIgnoringAsciiCase(entry->d_name, name)) {
      match = entry->d_name;
      ++matches;
    }
  }
  ::closedir(dir);
  return matches == 1 ? match : name;
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
    current = floor = drives_[index].hostPath;
    restStart = 2;
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
    floor = "/";
  }

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
    std::string matched = exists ? MatchComponent(current, name) : name;
    current = JoinHost(current, matched);
    struct stat st;
    exists = exists && ::lstat(current.c_str(), &st) == 0;
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
