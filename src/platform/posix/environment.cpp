// Current, temporary and documents folders, user name, local time and sleeps.
#include <pwd.h>
#include <time.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return std::string();
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs: "$HOME/..." or an absolute path; anything else is
// ignored, as xdg-user-dirs does.
std::string XdgDocumentsFolder(const std::string& home) {
  std::string configHome = Environment("XDG_CONFIG_HOME");
  if (configHome.empty()) configHome = home + "/.config";
  std::ifstream in(configHome + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  std::string found;
  while (std::getline(in, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
      found = home + value.substr(5);
    } else if (!value.empty() && value[0] == '/') {
      found = value;
    }
  }
  return found;
}

}  // namespace

std::string PosixPlatform::GetCurrentDirectory() {
  std::string buffer(4096, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return "C:\\";
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return HostToWindows(buffer);
}

// The user's own folder, as Windows gives each user a %TEMP% of their own, made when missing;
// CheckPrivateFolder says whether it may be used.
std::string PosixPlatform::GetTempPath() {
  PrivateFolderReady();
  std::string path = HostToWindows(privateFolder_);
  if (path.back() != '\\') path += '\\';
  return path;
}

bool PosixPlatform::GetDocumentsFolder(std::string* path) {
  const std::string home = HomeFolder();
  if (home.empty()) return FailWith(kErrPathNotFound);
  std::string documents = XdgDocumentsFolder(home);
  if (documents.empty()) documents = home + "/Documents";
  std::error_code ec;
  std::filesystem::create_directories(documents, ec);
  if (!std::filesystem::is_directory(documents, ec)) {
    return FailErrno(ec ? ec.value() : ENOTDIR, documents);
  }
  *path = HostToWindows(documents);
  struct stat st;
  if (::stat(documents.c_str(), &st) == 0) {
    std::lock_guard<std::mutex> lock(documentsMutex_);
    documents_ = KnownFolder{.windowsPath = *path, .hostPath = NormalHostPath(documents),
                             .device = st.st_dev, .inode = st.st_ino};
  }
  SetLastError(kErrSuccess);
  return true;
}

std::string PosixPlatform::GetUserName() {
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    return found->pw_name;
  }
  return Environment("USER");
}

WallTime PosixPlatform::GetWallTime() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  WallTime time;
  time.unixMilliseconds = int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
  struct tm parts;
  if (::localtime_r(&now.tv_sec, &parts) != nullptr)
    time.utcOffsetMinutes = static_cast<int32_t>(parts.tm_gmtoff / 60);
  return time;
}

std::string PosixPlatform::GetHostName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::string();
  return buffer;
}

LocalTime PosixPlatform::GetLocalTime() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm parts;
  LocalTime time;
  if (::localtime_r(&now.tv_sec, &parts) == nullptr) return time;
  time.year = parts.tm_year + 1900;
  time.month = parts.tm_mon + 1;
  time.day = parts.tm_mday;
  time.hour = parts.tm_hour;
  time.minute = parts.tm_min;
  time.second = parts.tm_sec;
  time.milliseconds = static_cast<int>(now.tv_nsec / 1000000);
  return time;
}

void PosixPlatform::Sleep(uint32_t milliseconds) {
  if (instantSleeps_) return;
  struct timespec wait;
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace cw::posix
