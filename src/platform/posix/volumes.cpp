// Raw volumes ("\\.\E:") and their dismount: what was written must reach the medium and the
// next reads must come from it, not from the page cache.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

class PosixVolume final : public Volume {
 public:
  PosixVolume(char letter, int fd, bool isDevice) : letter_(letter), fd_(fd), isDevice_(isDevice) {}
  ~PosixVolume() override {
    if (fd_ >= 0) ::close(fd_);
  }
  char letter_;
  int fd_;
  bool isDevice_;  // else fd_ is the drive's folder, which would keep its mount busy
  bool mounted_ = true;
};

// Writes out and drops the cached pages of every file below `folder`, so the next read of each
// goes to the medium. Only an I/O error counts as failure: that is the medium refusing. Every
// file is evicted even after one failed. The file system was synced just before, so each file
// only waits for its own write-back and reports its own error: an fsync here would also flush
// the device's cache once per file, which on a card of thousands of files is most of the
// dismount. A FUSE file system is the exception (`perFileFsync`): its syncfs and
// sync_file_range stop at the kernel's side, and only an fsync asks its server to write the
// file to the card.
bool EvictFilesBelow(const std::string& folder, bool perFileFsync, int* err) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    constexpr unsigned kWriteAndWait =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    const bool written =
        perFileFsync ? ::fsync(fd) == 0 : ::sync_file_range(fd, 0, 0, kWriteAndWait) == 0;
    if (!written && errno == EIO) *err = EIO;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
  return *err != EIO;
}

bool IsFuseType(const std::string& fsType) {
  return fsType == "fuse" || fsType == "fuseblk" || fsType.rfind("fuse.", 0) == 0;
}

// Asks the card's device to write its own cache to the medium, once: an fsync of the device
// when it is open, else of the card's root folder, which the FAT driver answers with a flush of
// the device (its syncfs sends none). False only on an I/O error.
bool FlushDeviceCache(int fd) { return fd < 0 || ::fsync(fd) == 0 || errno != EIO; }

bool SyncFileSystemOf(const std::string& folder, int* err) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return false;
  }
  const bool ok = ::syncfs(fd) == 0;
  if (!ok) *err = errno;
  ::close(fd);
  return ok;
}

}  // namespace

// Opens the mount's block device when the drive's folder is a mount point and we may open
// it (root); otherwise the drive's folder stands for the volume.
std::unique_ptr<Volume> PosixPlatform::OpenVolume(const std::string& devicePath) {
  if (devicePath.size() != 6 || devicePath.compare(0, 4, "\\\\.\\") != 0 || devicePath[5] != ':') {
    FailWith(kErrFileNotFound);
    return nullptr;
  }
  const int index = DriveIndex(devicePath[4]);
  if (index < 0) {
    FailWith(kErrFileNotFound);
    return nullptr;
  }
  if (!EnsureMounted(index)) return nullptr;
  const Drive& drive = drives_[index];
  const std::optional<MountEntry> mount = MountAt(ReadMountInfo(), drive.hostPath);
  if (mount && mount->source.rfind("/dev/", 0) == 0 && drive.hostPath != "/") {
    const int fd = ::open(mount->source.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      SetLastError(kErrSuccess);
      return std::make_unique<PosixVolume>(drive.letter, fd, true);
    }
  }
  const int fd = ::open(drive.hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    FailErrno(errno, drive.hostPath);
    return nullptr;
  }
  SetLastError(kErrSuccess);
  return std::make_unique<PosixVolume>(drive.letter, fd, false);
}

// As root, a drive whose folder is itself a FAT mount point is unmounted (and comes back on
// the next access). Without root its file system is synced, the cached pages of the drive's
// files are dropped, and such a card is unmounted and mounted again the user's own way; one
// that the user may not unmount stays mounted, and its volume says so. Either way the dismount
// ends with one flush of the device's cache, so that the verification's reads meet the medium,
// not a reader's volatile cache, and a card pulled after the job holds what it verified. A
// sync that fails (the card was pulled, or refuses writes) still unmounts or evicts, so that
// later reads meet the card and not the page cache, which would hold the very data that never
// reached it; the dismount then fails with the sync's error.
bool PosixPlatform::DismountVolume(Volume& volume) {
  auto* posixVolume = dynamic_cast<PosixVolume*>(&volume);
  if (posixVolume == nullptr) return FailWith(kErrInvalidHandle);
  const int index = DriveIndex(posixVolume->letter_);
  if (index < 0) return FailWith(kErrInvalidHandle);
  Drive& drive = drives_[index];
  int syncError = 0;
  const bool synced = SyncFileSystemOf(drive.hostPath, &syncError);
  const std::optional<MountEntry> mount = MountAt(ReadMountInfo(), drive.hostPath);
  if (::geteuid() == 0 && mount && (mount->fsType == "vfat" || mount->fsType == "msdos")) {
    bool flushed = true;
    if (!posixVolume->isDevice_ && posixVolume->fd_ >= 0) {
      flushed = FlushDeviceCache(posixVolume->fd_);  // the root folder, before it goes
      ::close(posixVolume->fd_);
      posixVolume->fd_ = -1;
    }
    std::lock_guard<std::mutex> lock(mountMutex_);
    int err = 0;
    if (!UnmountFolder(drive.hostPath, &err)) return FailErrno(err, drive.hostPath);  // busy
    drive.unmounted = true;
    drive.savedMount = *mount;
    posixVolume->mounted_ = false;
    // The device after the unmount, whose own last write (the clean mark) is then flushed too.
    if (posixVolume->isDevice_) flushed = FlushDeviceCache(posixVolume->fd_);
    if (!synced) return FailErrno(syncError, drive.hostPath);
    if (!flushed) return FailErrno(EIO);
    SetLastError(kErrSuccess);
    return true;
  }
  int evictError = 0;
  const bool perFileFsync = mount && IsFuseType(mount->fsType);
  const bool evicted =
      drive.hostPath == "/" || EvictFilesBelow(drive.hostPath, perFileFsync, &evictError);
  bool deviceSynced = FlushDeviceCache(posixVolume->fd_);
  if (posixVolume->fd_ >= 0) ::posix_fadvise(posixVolume->fd_, 0, 0, POSIX_FADV_DONTNEED);
  bool stillMounted = false;
  if (mount && drive.hostPath != "/" && (mount->fsType == "vfat" || mount->fsType == "msdos")) {
    // The card's folders and allocation table are still the kernel's cached copies: only the
    // user's own way of unmounting it sends the verification to the card. Without one the card
    // stays mounted and the job says so, as for a card the system would not let go.
    if (!posixVolume->isDevice_ && posixVolume->fd_ >= 0) {
      ::close(posixVolume->fd_);  // it would keep the mount busy
      posixVolume->fd_ = -1;
    }
    stillMounted = !RemountAsUser(drive, *mount);
    // The unmount and the mount each wrote the card's state to it: flushed too.
    const int root =
        stillMounted ? -1 : ::open(drive.hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root >= 0) {
      deviceSynced = FlushDeviceCache(root) && deviceSynced;
      ::close(root);
    }
  }
  if (!synced) return FailErrno(syncError, drive.hostPath);
  if (!evicted) return FailErrno(evictError, drive.hostPath);
  if (!deviceSynced) return FailErrno(EIO);
  posixVolume->mounted_ = stillMounted;
  SetLastError(kErrSuccess);
  return true;
}

// Unmounts the card at the drive's folder the user's own way and mounts it again at once, so
// that the verification's reads meet the card. True once it is unmounted: when it does not
// come back at once, the next access to the drive tries again.
bool PosixPlatform::RemountAsUser(Drive& drive, const MountEntry& mount) {
  std::lock_guard<std::mutex> lock(mountMutex_);
  const UserMountWay way = UnmountAsUser(mount);
  if (way == UserMountWay::kNone) return false;
  drive.unmounted = true;
  drive.savedMount = mount;
  drive.userWay = way;
  if (const std::optional<std::string> point = MountAsUser(mount, way)) {
    drive.hostPath = *point;
    drive.unmounted = false;
  }
  return true;
}

bool PosixPlatform::IsVolumeMounted(Volume& volume) {
  auto* posixVolume = dynamic_cast<PosixVolume*>(&volume);
  if (posixVolume == nullptr) return FailWith(kErrInvalidHandle);
  return posixVolume->mounted_;
}

bool PosixPlatform::CloseVolume(std::unique_ptr<Volume> volume) {
  auto* posixVolume = dynamic_cast<PosixVolume*>(volume.get());
  if (posixVolume == nullptr) return FailWith(kErrInvalidHandle);
  const int fd = posixVolume->fd_;
  posixVolume->fd_ = -1;
  if (fd >= 0 && ::close(fd) != 0) return FailErrno(errno);
  SetLastError(kErrSuccess);
  return true;
}

// One syncfs of the file system that holds `folder`: every file and folder written on it so far
// reaches the medium, however many there are.
bool PosixPlatform::FlushFiles(const std::string& folder, const std::vector<std::string>&) {
  std::string hostPath;
  if (!Resolve(folder, &hostPath)) return false;
  int err = 0;
  if (!SyncFileSystemOf(hostPath, &err)) return FailErrno(err, hostPath);
  SetLastError(kErrSuccess);
  return true;
}

}  // namespace cw::posix
