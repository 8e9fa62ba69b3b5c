// Drives as Windows reports them, with the type, file-system and size overrides of explicit
// mappings laid over the real drive letters.
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cstring>

#include "platform/host_platform.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace cw::win32 {

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "E:" and "E:\" name E:'s root; Windows wants the backslash.
std::string RootWithBackslash(const std::string& rootPath) {
  if (rootPath.size() == 2 && IsDriveLetter(rootPath[0]) && rootPath[1] == ':') {
    return rootPath + "\\";
  }
  return rootPath;
}

// The root of the drive a path lies on ("E:\DATA\X" -> "E:\"); other paths as given.
std::string VolumeRootOf(const std::string& path) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') return path.substr(0, 2) + "\\";
  return path;
}

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

Win32Platform::Win32Platform(Win32PlatformOptions options) : options_(std::move(options)) {
  // An empty reader slot or a card pulled during a job fails the call instead of raising the
  // system's "No disk" box, which would hold the job until someone answers it.
  ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  for (const DriveMapping& mapping : options_.mappings) {
    overrides_.emplace(ToUpperAscii(mapping.letter), mapping);  // the first of a letter wins
  }
}

const DriveMapping* Win32Platform::OverrideFor(const std::string& path) const {
  if (path.size() < 2 || !IsDriveLetter(path[0]) || path[1] != ':') return nullptr;
  const auto found = overrides_.find(ToUpperAscii(path[0]));
  return found == overrides_.end() ? nullptr : &found->second;
}

std::vector<std::string> Win32Platform::LogicalDriveStrings() {
  std::vector<char> buffer(256);
  DWORD length = ::GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length > buffer.size()) {
    buffer.resize(length + 1);
    length = ::GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  std::vector<std::string> roots;
  if (length == 0 || length > buffer.size()) return roots;
  for (const char* root = buffer.data(); *root != '\0'; root += std::strlen(root) + 1) {
    roots.emplace_back(root);
  }
  return roots;
}

// An override changes only what a real drive reports, never makes a drive of nothing.
DriveType Win32Platform::GetDriveType(const std::string& rootPath) {
  const std::string root = RootWithBackslash(rootPath);
  const auto type = static_cast<DriveType>(::GetDriveTypeA(OrNull(root)));
  const DriveMapping* mapping = OverrideFor(root);
  if (mapping == nullptr || root.size() != 3 || type == DriveType::NoRootDir ||
      type == DriveType::Unknown) {
    return type;
  }
  return mapping->removable ? DriveType::Removable : DriveType::Fixed;
}

bool Win32Platform::GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                                         std::string* fileSystemName, uint32_t* serialNumber) {
  const std::string root = VolumeRootOf(rootPath);
  char name[MAX_PATH + 1] = {};
  char fileSystem[MAX_PATH + 1] = {};
  DWORD serial = 0;
  if (!::GetVolumeInformationA(OrNull(root), name, sizeof name, &serial, nullptr, nullptr,
                               fileSystem, sizeof fileSystem)) {
    return FailSystem();
  }
  const DriveMapping* mapping = OverrideFor(root);
  if (serialNumber != nullptr) {
    *serialNumber = (mapping != nullptr && mapping->serialNumber) ? *mapping->serialNumber
                                                                  : static_cast<uint32_t>(serial);
  }
  if (volumeName != nullptr) *volumeName = name;
  if (fileSystemName != nullptr) {
    *fileSystemName = (mapping != nullptr && mapping->fileSystem) ? *mapping->fileSystem
                                                                  : std::string(fileSystem);
  }
  cw::SetLastError(kErrSuccess);
  return true;
}

// Free space is what this user may use (quotas included), as the POSIX side's f_bavail.
bool Win32Platform::GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                                 uint64_t* freeBytes) {
  ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
  if (!::GetDiskFreeSpaceExA(OrNull(rootPath), &freeToCaller, &total, &totalFree)) {
    return FailSystem();
  }
  const DriveMapping* mapping = OverrideFor(rootPath);
  const uint64_t capacity =
      (mapping != nullptr && mapping->totalBytes) ? *mapping->totalBytes : total.QuadPart;
  if (totalBytes != nullptr) *totalBytes = capacity;
  if (freeBytes != nullptr) *freeBytes = std::min<uint64_t>(freeToCaller.QuadPart, capacity);
  cw::SetLastError(kErrSuccess);
  return true;
}

// The drive's own root: on Windows the program's paths are the host's.
std::string Win32Platform::DriveHostPath(const std::string& rootPath) {
  const std::string root = RootWithBackslash(rootPath);
  if (root.size() != 3 || root[1] != ':') return std::string();
  const UINT type = ::GetDriveTypeA(root.c_str());
  return (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) ? std::string()
                                                              : ToUpperAscii(root);
}

}  // namespace cw::win32

namespace cw {

std::unique_ptr<Platform> MakeHostPlatform(const HostPlatformOptions& options) {
  win32::Win32PlatformOptions win32;
  win32.mappings = options.mappings;
  return std::make_unique<win32::Win32Platform>(std::move(win32));
}

}  // namespace cw
