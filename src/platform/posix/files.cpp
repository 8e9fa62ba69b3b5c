// Open files, copy, delete and create folders, with Windows' rules: a read-only file is
// neither opened for writing nor deleted, a folder is not a file, nothing is locked against
// other readers and writers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

constexpr off_t kDefaultReadAhead = 128 * 1024;

class PosixFile final : public File {
 public:
  // A file no larger than the kernel's own read-ahead window gains nothing from the hint.
  PosixFile(int fd, bool writable, off_t size)
      : fd_(fd), writable_(writable), readAdvised_(writable || size <= kDefaultReadAhead) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
    *bytesRead = 0;
    // Files opened to be read are read from start to end (checksums, copies): a larger
    // read-ahead serves them. Asked at the first read, as many opens only look at the file.
    if (!readAdvised_) {
      ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
      readAdvised_ = true;
    }
    auto* bytes = static_cast<char*>(buffer);
    while (*bytesRead < size) {
      const ssize_t got = ::read(fd_, bytes + *bytesRead, size - *bytesRead);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return FailErrno(errno);
      if (got == 0) break;  // end of file
      *bytesRead += static_cast<uint32_t>(got);
    }
    SetLastError(kErrSuccess);
    return true;
  }

  bool Write(const void* buffer, uint32_t size) override {
    if (!writable_) return FailWith(kErrAccessDenied);
    const auto* bytes = static_cast<const char*>(buffer);
    uint32_t written = 0;
    while (written < size) {
      const ssize_t put = ::write(fd_, bytes + written, size - written);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return FailErrno(errno);
      if (put == 0) return FailErrno(ENOSPC);
      written += static_cast<uint32_t>(put);
    }
    SetLastError(kErrSuccess);
    return true;
  }

  bool Seek(int64_t offset, SeekFrom from) override {
    const int whence = from == SeekFrom::Begin     ? SEEK_SET
                       : from == SeekFrom::Current ? SEEK_CUR
                                                   : SEEK_END;
    if (::lseek(fd_, offset, whence) < 0) return FailErrno(errno);
    return true;
  }

  int64_t Tell() override {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0) FailErrno(errno);
    return at;
  }

  bool GetSize(uint64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return FailErrno(errno);
    *size = static_cast<uint64_t>(st.st_size);
    return true;
  }

  bool Flush() override {
    if (::fsync(fd_) != 0) return FailErrno(errno);
    return true;
  }

  int fd() const { return fd_; }

  bool GetAttributes(uint32_t* attributes) override { return AttributesOfOpen(fd_, attributes); }

  bool Close() override {
    if (fd_ < 0) return FailWith(kErrInvalidHandle);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return FailErrno(errno);
    return true;
  }

 private:
  int fd_;
  bool writable_;
  bool readAdvised_;
};

bool IsReadOnlyFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

// Keeps the file open from piece to piece (open, status and close for every log line cost more
// than the line). One look at the path before each piece tells whether it still names the file
// held; a file removed, renamed or replaced since is let go and the path opened afresh.
class HeldAppender final : public Appender {
 public:
  HeldAppender(PosixPlatform& platform, std::string path)
      : platform_(platform), path_(std::move(path)) {}

  bool Append(const void* data, uint32_t size) override {
    struct stat st;
    if (file_ && (::stat(host_.c_str(), &st) != 0 || st.st_dev != device_ || st.st_ino != node_))
      file_.reset();
    if (!file_) {
      std::unique_ptr<File> file = platform_.OpenFile(path_, OpenMode::Append);
      if (!file) return false;
      if (::fstat(static_cast<PosixFile&>(*file).fd(), &st) != 0) return FailErrno(errno);
      host_ = platform_.ToHostPath(path_);
      device_ = st.st_dev;
      node_ = st.st_ino;
      file_ = std::move(file);
    }
    return file_->Write(data, size);  // opened to append: at the end, whoever wrote last
  }

 private:
  PosixPlatform& platform_;
  std::string path_;
  std::string host_;
  std::unique_ptr<File> file_;
  dev_t device_ = 0;
  ino_t node_ = 0;
};

// Makes a folder's entries (a rename into or out of it) reach stable storage.
bool SyncFolder(const std::string& hostFolder) {
  const int fd = ::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailErrno(errno, hostFolder);
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot
  const int err = errno;
  ::close(fd);
  return synced || FailErrno(err, hostFolder);
}

// Closes both files; on failure also removes the half-written destination, as Windows does.
bool FinishCopy(int in, int out, const std::string& destination, int err) {
  ::close(in);
  if (out >= 0 && ::close(out) != 0 && err == 0) err = errno;
  if (err == 0) return true;
  ::unlink(destination.c_str());
  return FailErrno(err, destination);
}

}  // namespace

// A file to be replaced (O_TRUNC) is most often new, so making it is tried first; a file kept
// (the log, opened for every line) most often exists, so opening it is. Between the two tries
// another process may make or remove the file: a few rounds settle it.
int OpenNoFollow(const std::string& hostPath, int flags, mode_t mode) {
  flags |= O_NOFOLLOW | O_CLOEXEC;
  if ((flags & O_CREAT) == 0 || (flags & O_EXCL) != 0) return ::open(hostPath.c_str(), flags, mode);
  const int existing = flags & ~O_CREAT;
  const int made = (flags & ~O_TRUNC) | O_EXCL;
  const bool makeFirst = (flags & O_TRUNC) != 0;
  for (int round = 0; round < 4; ++round) {
    int fd = ::open(hostPath.c_str(), makeFirst ? made : existing, mode);
    if (fd >= 0 || errno != (makeFirst ? EEXIST : ENOENT)) return fd;
    fd = ::open(hostPath.c_str(), makeFirst ? existing : made, mode);
    if (fd >= 0 || errno != (makeFirst ? ENOENT : EEXIST)) return fd;
  }
  return -1;
}

std::unique_ptr<File> PosixPlatform::OpenFile(const std::string& path, OpenMode mode) {
  // A file that must exist is opened as written first (on a FAT card, and for most names
  // elsewhere, the open itself is the lookup); only a missing name is looked for in any case.
  const bool mustExist = mode == OpenMode::Read || mode == OpenMode::ReadWrite;
  std::string host;
  if (!Resolve(path, &host, !mustExist)) return nullptr;
  int flags = O_RDWR;
  switch (mode) {
    case OpenMode::Read:
      flags = O_RDONLY;
      break;
    case OpenMode::ReadWrite:
      flags = O_RDWR;
      break;
    case OpenMode::CreateAlways:
      flags = O_RDWR | O_CREAT | O_TRUNC;
      break;
    case OpenMode::OpenAlways:
      flags = O_RDWR | O_CREAT;
      break;
    case OpenMode::CreateNew:
      flags = O_RDWR | O_CREAT | O_EXCL;
      break;
    case OpenMode::Append:
      flags = O_RDWR | O_CREAT | O_APPEND;
      break;
  }
  // Root could write a read-only file; Windows refuses everyone. Only a truncating open must
  // look before it opens: the others change nothing until written, so the open file itself
  // is asked (one lookup less for every line of the log).
  struct stat st;
  if (mode == OpenMode::CreateAlways && ::stat(host.c_str(), &st) == 0 &&
      (S_ISDIR(st.st_mode) || IsReadOnlyFile(st))) {
    FailWith(kErrAccessDenied);
    return nullptr;
  }
  const bool writes = mode != OpenMode::Read;
  // Files to read may be links (a package kept elsewhere); files to write never are.
  auto open = [&] {
    return writes ? OpenNoFollow(host, flags, 0666) : ::open(host.c_str(), flags | O_CLOEXEC);
  };
  int fd = open();
  if (fd < 0 && mustExist && (errno == ENOENT || errno == ENOTDIR)) {
    FailErrno(errno, host);
    if (!AnotherCase(path, &host)) return nullptr;
    fd = open();
  }
  if (fd < 0) {
    FailErrno(errno, host);
    return nullptr;
  }
  const bool statted = ::fstat(fd, &st) == 0;
  if (statted && (S_ISDIR(st.st_mode) || (writes && IsReadOnlyFile(st)))) {
    ::close(fd);  // a folder is no file
    FailWith(kErrAccessDenied);
    return nullptr;
  }
  SetLastError(kErrSuccess);
  return std::make_unique<PosixFile>(fd, mode != OpenMode::Read, statted ? st.st_size : 0);
}

std::unique_ptr<Appender> PosixPlatform::OpenAppender(const std::string& path) {
  return std::make_unique<HeldAppender>(*this, path);
}

bool PosixPlatform::CopyFile(const std::string& source, const std::string& destination,
                             bool failIfExists, CopyWatcher* watcher) {
  std::string from;
  std::string to;
  if (!Resolve(source, &from) || !Resolve(destination, &to)) return false;
  struct stat sourceStat;
  if (::stat(from.c_str(), &sourceStat) != 0) return FailErrno(errno, from);
  if (S_ISDIR(sourceStat.st_mode)) return FailWith(kErrAccessDenied);
  struct stat destinationStat;
  if (::stat(to.c_str(), &destinationStat) == 0) {
    if (failIfExists) return FailWith(kErrFileExists);
    if (destinationStat.st_dev == sourceStat.st_dev &&
        destinationStat.st_ino == sourceStat.st_ino) {
      return FailWith(kErrSharingViolation);  // onto itself: truncating would lose it
    }
    // Windows will not copy over a folder, nor over a read-only or hidden file.
    if (S_ISDIR(destinationStat.st_mode) ||
        (AttributesOf(to, destinationStat) & (kAttrReadOnly | kAttrHidden)) != 0) {
      return FailWith(kErrAccessDenied);
    }
  }
  const uint32_t attributes = AttributesOf(from, sourceStat);
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return FailErrno(errno, from);
  const int out =
      OpenNoFollow(to, O_WRONLY | O_CREAT | O_TRUNC | (failIfExists ? O_EXCL : 0), 0666);
  if (out < 0) {
    const int err = errno;
    ::close(in);
    return FailErrno(err, to);
  }
  // As large as the file, up to 1 MiB, and not cleared: most files backed up are small, and
  // a cleared megabyte per copy cost more than copying them.
  const size_t bufferSize =
      static_cast<size_t>(std::clamp<off_t>(sourceStat.st_size, 4096, off_t{1} << 20));
  const std::unique_ptr<char[]> buffer(new char[bufferSize]);
  for (;;) {
    const ssize_t got = ::read(in, buffer.get(), bufferSize);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FinishCopy(in, out, to, errno);
    if (got == 0) break;
    if (watcher != nullptr) watcher->Copied(buffer.get(), static_cast<size_t>(got));
    for (ssize_t written = 0; written < got;) {
      const ssize_t put = ::write(out, buffer.get() + written, static_cast<size_t>(got - written));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return FinishCopy(in, out, to, put < 0 ? errno : ENOSPC);
      written += put;
    }
  }
  const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
  ::futimens(out, times);
  if (!FinishCopy(in, out, to, 0)) return false;
  // Also when the source has none: a replaced destination must not keep its own.
  if (!SetHostAttributes(to, attributes)) return false;
  SetLastError(kErrSuccess);
  return true;
}

bool PosixPlatform::DeleteFile(const std::string& path) {
  std::string host;
  if (!Resolve(path, &host)) return false;
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return FailErrno(errno, host);
  if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return FailWith(kErrAccessDenied);
  if (::unlink(host.c_str()) != 0) return FailErrno(errno, host);
  SetLastError(kErrSuccess);
  return true;
}

bool PosixPlatform::CreateDirectory(const std::string& path) {
  std::string host;
  if (!Resolve(path, &host)) return false;
  if (::mkdir(host.c_str(), 0777) != 0) {
    return errno == EEXIST ? FailWith(kErrAlreadyExists) : FailErrno(errno, host);
  }
  SetLastError(kErrSuccess);
  return true;
}

bool PosixPlatform::MoveFile(const std::string& source, const std::string& destination) {
  std::string from;
  std::string to;
  if (!Resolve(source, &from) || !Resolve(destination, &to)) return false;
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0) return FailErrno(errno, from);
  // Windows moves nothing over an existing name; rename(2) would replace a file silently.
  if (::lstat(to.c_str(), &st) == 0) return FailWith(kErrAlreadyExists);
  if (::rename(from.c_str(), to.c_str()) != 0) return FailErrno(errno, to);
  if (!SyncFolder(ParentOf(to))) return false;
  if (ParentOf(to) != ParentOf(from) && !SyncFolder(ParentOf(from))) return false;
  SetLastError(kErrSuccess);
  return true;
}

bool PosixPlatform::RemoveDirectory(const std::string& path) {
  std::string host;
  if (!Resolve(path, &host)) return false;
  if (::rmdir(host.c_str()) != 0) return FailErrno(errno, host);
  SetLastError(kErrSuccess);
  return true;
}

}  // namespace cw::posix
