// The drive map (C: the host root, explicit mappings, discovered media) and what Windows
// tells about a drive: type, file system, capacity.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

// A mapped folder is known by its real path, so host paths reached through symlinks still
// land on the drive.
std::string CanonicalFolder(const std::string& path) {
  std::string normal = NormalHostPath(path);
  char* real = ::realpath(normal.c_str(), nullptr);
  if (real == nullptr) return normal;
  std::string result = real;
  ::free(real);
  return result;
}

// Windows mounts a dismounted volume again on the next access by anyone; here the card is
// mounted again at the latest when the process that unmounted it ends, so that the next
// program (or the next cardwright command) finds it where it was. Front ends may keep their
// platform to the end, hence the exit hook beside the destructor. The registry is never
// destroyed: platforms that are static objects themselves end after any of ours would. It holds
// no answers of any platform, only which ones exist, so it is the one process-wide list here.
std::mutex& LivePlatformsMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
std::set<PosixPlatform*>& LivePlatforms() {
  static auto* platforms = new std::set<PosixPlatform*>;
  return *platforms;
}
void RemountAtExit() {
  std::lock_guard<std::mutex> lock(LivePlatformsMutex());
  for (PosixPlatform* platform : LivePlatforms()) platform->RemountAll();
}

// The serial number a FAT file system keeps in its boot sector, behind the extended boot
// signature 0x29 (at 0x26 on FAT12/16, at 0x42 on FAT32). 0 when the device cannot be read
// (an ordinary user, as on Windows without the right) or holds no such sector.
// The serial number and label a FAT card was formatted with, from its boot sector (0 and empty
// when the device cannot be read: reading it takes the rights a raw volume takes).
struct FatIds {
  uint32_t serial = 0;
  std::string label;
};

FatIds FatIdsOf(const std::string& device) {
  if (device.rfind("/dev/", 0) != 0) return {};
  const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  unsigned char sector[512] = {};
  const ssize_t got = ::pread(fd, sector, sizeof sector, 0);
  ::close(fd);
  if (got != static_cast<ssize_t>(sizeof sector) || sector[510] != 0x55 || sector[511] != 0xAA)
    return {};
  // The extended boot record: FAT12/16 at 0x26, FAT32 at 0x42; serial, then an 11-byte label.
  const size_t at = sector[0x26] == 0x29 ? 0x27 : sector[0x42] == 0x29 ? 0x43 : 0;
  if (at == 0) return {};
  FatIds ids;
  ids.serial = uint32_t(sector[at]) | uint32_t(sector[at + 1]) << 8 |
               uint32_t(sector[at + 2]) << 16 | uint32_t(sector[at + 3]) << 24;
  ids.label.assign(reinterpret_cast<const char*>(sector + at + 4), 11);
  while (!ids.label.empty() && (ids.label.back() == ' ' || ids.label.back() == '\0'))
    ids.label.pop_back();
  if (ids.label == "NO NAME") ids.label.clear();  // what mkfs.fat writes for no label
  return ids;
}

}  // namespace

PosixPlatform::PosixPlatform(const PosixPlatformOptions& options) : options_(options) {
  instantSleeps_ = options.instantSleeps;
  privateFolder_ = options.privateFolder;
  if (privateFolder_.empty()) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* temp = std::getenv("TMPDIR");
    privateFolder_ = PrivateFolderFor(runtime ? runtime : "", temp ? temp : "", ::geteuid());
  }
  BuildDriveMap();
  if (options_.discoverMounts) mountTable_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  static const bool hooked = std::atexit(RemountAtExit) == 0;
  (void)hooked;
  std::lock_guard<std::mutex> lock(LivePlatformsMutex());
  LivePlatforms().insert(this);
}

PosixPlatform::~PosixPlatform() {
  {
    std::lock_guard<std::mutex> lock(LivePlatformsMutex());
    LivePlatforms().erase(this);
  }
  RemountAll();
  if (mountTable_ >= 0) ::close(mountTable_);
}

void PosixPlatform::RemountAll() {
  for (size_t i = 0; i < drives_.size(); ++i) EnsureMounted(static_cast<int>(i));
}

void PosixPlatform::BuildDriveMap() {
  Drive root;
  root.letter = 'C';
  root.hostPath = "/";
  drives_.push_back(root);
  for (const DriveMapping& mapping : options_.mappings) {
    if (DriveIndex(mapping.letter) >= 0) continue;  // the first mapping of a letter wins
    Drive drive;
    drive.letter = UpperAscii(mapping.letter);
    drive.hostPath = CanonicalFolder(mapping.hostPath);
    drive.removable = mapping.removable;
    drive.fileSystem = mapping.fileSystem;
    drive.totalBytes = mapping.totalBytes;
    drive.serialNumber = mapping.serialNumber;
    drives_.push_back(drive);
  }
  if (options_.discoverMounts) {
    const std::vector<MountEntry> mounts = ReadMountInfo();
    char next = 'D';
    for (const MountEntry& mount : mounts) {
      if (mount.mountPoint == "/" || mount.source.rfind("/dev/", 0) != 0) continue;
      if (mount.majorMinor.rfind("0:", 0) == 0) continue;  // no block device behind it
      const std::optional<MountEntry> visible = MountAt(mounts, mount.mountPoint);
      if (!visible || visible->majorMinor != mount.majorMinor) continue;  // mounted over
      const bool removable = IsRemovableDevice("/sys", mount.majorMinor);
      if (!removable && !IsFatType(mount.fsType)) continue;
      const bool known = std::any_of(drives_.begin(), drives_.end(), [&](const Drive& d) {
        return d.hostPath == mount.mountPoint;
      });
      if (known) continue;
      while (next <= 'Z' && DriveIndex(next) >= 0) ++next;
      if (next > 'Z') break;
      Drive drive;
      drive.letter = next;
      drive.hostPath = mount.mountPoint;
      drive.removable = removable;  // FAT on a fixed device is a fixed drive
      drives_.push_back(drive);
    }
  }
  std::sort(drives_.begin(), drives_.end(),
            [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
}

bool PosixPlatform::DrivesChanged() {
  if (mountTable_ < 0) return false;
  pollfd table{mountTable_, POLLPRI, 0};
  if (::poll(&table, 1, 0) <= 0 || (table.revents & (POLLPRI | POLLERR)) == 0) return false;
  std::vector<Drive> before;
  {
    std::lock_guard<std::mutex> lock(mountMutex_);
    before.swap(drives_);
  }
  BuildDriveMap();
  std::lock_guard<std::mutex> lock(mountMutex_);
  for (Drive& held : before) {
    if (!held.unmounted) continue;
    const auto at = std::find_if(drives_.begin(), drives_.end(),
                                 [&](const Drive& d) { return d.letter == held.letter; });
    if (at == drives_.end()) {
      drives_.push_back(std::move(held));
    } else if (at->hostPath == held.hostPath) {
      *at = std::move(held);
    }
  }
  std::sort(drives_.begin(), drives_.end(),
            [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
  return true;
}

std::vector<std::string> PosixPlatform::LogicalDriveStrings() {
  std::vector<std::string> roots;
  for (const Drive& drive : drives_) roots.push_back(std::string(1, drive.letter) + ":\\");
  return roots;
}

// "E:" and "E:\" are E:'s root; any other path, and a letter without a drive, has no root
// directory (DRIVE_NO_ROOT_DIR, as Windows answers for an unused letter).
DriveType PosixPlatform::GetDriveType(const std::string& rootPath) {
  const int index = rootPath.empty() ? DriveOfPath(GetCurrentDirectory()) : DriveOfRoot(rootPath);
  if (index < 0) return DriveType::NoRootDir;
  return drives_[index].removable ? DriveType::Removable : DriveType::Fixed;
}

// Any path on a drive names that drive's volume; a letter without a drive is a missing path.
bool PosixPlatform::GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                                         std::string* fileSystemName, uint32_t* serialNumber) {
  const int index = DriveOfPath(rootPath);
  if (index < 0) return FailWith(kErrPathNotFound);
  if (!EnsureMounted(index)) return false;
  const Drive& drive = drives_[index];
  struct statfs info;
  if (::statfs(drive.hostPath.c_str(), &info) != 0) return FailErrno(errno, drive.hostPath);
  std::optional<MountEntry> mount;
  if ((fileSystemName != nullptr && !drive.fileSystem) ||
      (serialNumber != nullptr && !drive.serialNumber) || volumeName != nullptr) {
    mount = MountOf(ReadMountInfo(), drive.hostPath);
  }
  // A FAT card's ids from its boot sector; other volumes have no label here.
  const FatIds ids = (mount && info.f_type == 0x4d44 &&
                      (volumeName != nullptr || (serialNumber != nullptr && !drive.serialNumber)))
                         ? FatIdsOf(mount->source)
                         : FatIds{};
  if (volumeName != nullptr) *volumeName = ids.label;
  if (fileSystemName != nullptr) {
    *fileSystemName = drive.fileSystem
                          ? *drive.fileSystem
                          : FileSystemName(static_cast<int64_t>(info.f_type), info.f_blocks,
                                           mount ? mount->fsType : std::string());
  }
  if (serialNumber != nullptr) {
    *serialNumber = drive.serialNumber ? *drive.serialNumber : ids.serial;
  }
  SetLastError(kErrSuccess);
  return true;
}

bool PosixPlatform::GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                                 uint64_t* freeBytes) {
  const int index = DriveOfPath(rootPath);
  if (index < 0) return FailWith(kErrPathNotFound);
  if (!EnsureMounted(index)) return false;
  const Drive& drive = drives_[index];
  struct statfs info;
  if (::statfs(drive.hostPath.c_str(), &info) != 0) return FailErrno(errno, drive.hostPath);
  const uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  const uint64_t total = drive.totalBytes ? *drive.totalBytes : info.f_blocks * unit;
  if (totalBytes != nullptr) *totalBytes = total;
  if (freeBytes != nullptr) *freeBytes = std::min<uint64_t>(info.f_bavail * unit, total);
  SetLastError(kErrSuccess);
  return true;
}

std::string PosixPlatform::DriveHostPath(const std::string& rootPath) {
  const int index = DriveOfRoot(rootPath);
  return index < 0 ? std::string() : drives_[index].hostPath;
}

// Mounted first: the empty mount point of a card we hold unmounted is not the card's folder.
bool PosixPlatform::GetDriveFolderId(const std::string& rootPath, uint64_t* device,
                                     uint64_t* node) {
  const int index = DriveOfPath(rootPath);
  if (index < 0) return FailWith(kErrPathNotFound);
  if (!EnsureMounted(index)) return false;
  struct stat info;
  if (::stat(drives_[index].hostPath.c_str(), &info) != 0)
    return FailErrno(errno, drives_[index].hostPath);
  *device = static_cast<uint64_t>(info.st_dev);
  *node = static_cast<uint64_t>(info.st_ino);
  SetLastError(kErrSuccess);
  return true;
}

// A FAT card we unmounted comes back on the next access to its drive; each access tries again,
// so a card put back in its reader is found.
bool PosixPlatform::EnsureMounted(int driveIndex) {
  std::lock_guard<std::mutex> lock(mountMutex_);
  Drive& drive = drives_[driveIndex];
  if (!drive.unmounted) return true;
  if (drive.userWay != UserMountWay::kNone) {
    const std::optional<std::string> point = MountAsUser(drive.savedMount, drive.userWay);
    if (!point) return FailWith(kErrNotReady);
    drive.hostPath = *point;  // the desktop's mounter may have chosen another folder
  } else {
    int err = 0;
    if (!RemountFolder(drive.savedMount, &err)) return FailWith(kErrNotReady);
  }
  drive.unmounted = false;
  return true;
}

}  // namespace cw::posix

namespace cw {

std::unique_ptr<Platform> MakePosixPlatform(const PosixPlatformOptions& options) {
  return std::make_unique<posix::PosixPlatform>(options);
}

}  // namespace cw
