// Exclusive locks by name, across threads and processes: flock on a file. Each acquisition
// opens its own descriptor, so two threads of one process exclude each other too (flock
// locks belong to the open file, not the process). Named locks live in this user's private
// folder, so another account's lock of the same name is another file.
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

class FlockHeld final : public HeldLock {
 public:
  explicit FlockHeld(int fd) : fd_(fd) {}
  ~FlockHeld() override { ::close(fd_); }  // closing the descriptor drops the lock

 private:
  int fd_;
};

// A Windows path (drive letter, backslash) or a host path names a file to lock.
bool NamesAFile(const std::string& name) {
  return name.find('\\') != std::string::npos || name.find('/') != std::string::npos ||
         (name.size() >= 2 && name[1] == ':');
}

// Only the user may open a lock file for writing; a read-only file (a log) locks too.
int OpenLockFile(const std::string& hostPath) {
  int fd = OpenNoFollow(hostPath, O_RDWR | O_CREAT, 0600);
  if (fd < 0 && errno == EACCES) fd = OpenNoFollow(hostPath, O_RDONLY, 0);
  return fd;
}

void PauseMicroseconds(long microseconds) {
  struct timespec wait;
  wait.tv_sec = microseconds / 1000000;
  wait.tv_nsec = (microseconds % 1000000) * 1000;
  ::nanosleep(&wait, nullptr);
}

// flock has no time-out: a bounded wait tries again, 0.1 ms after the first try and up to
// 50 ms apart, as a lock is mostly held for one log line of a few microseconds.
bool FlockWithin(int fd, uint32_t waitMilliseconds) {
  if (waitMilliseconds == kWaitForever) {
    while (::flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
  long pause = 100;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      errno = EWOULDBLOCK;
      return false;
    }
    PauseMicroseconds(std::min<long>(pause, left));
    pause = std::min(pause * 2, 50000L);
  }
}

}  // namespace

std::string NamedLockPath(const std::string& folder, const std::string& name) {
  std::string safe;
  for (char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    safe += plain ? c : '_';
  }
  return JoinHost(folder, "cardwright-" + safe + ".lock");
}

// A file that cannot be opened (its folder is missing) is locked by name instead, so the
// lock still serialises everyone who asks for it. A private folder that is not this user's
// alone gets no lock file at all.
std::unique_ptr<HeldLock> PosixPlatform::Lock(const std::string& name, uint32_t waitMilliseconds) {
  int fd = -1;
  std::string host;
  if (NamesAFile(name) && Resolve(name, &host)) fd = OpenLockFile(host);
  if (fd < 0) {
    if (!PrivateFolderReady()) return nullptr;
    host = NamedLockPath(privateFolder_, name);
    fd = OpenLockFile(host);
    // Removed since it was checked (a cleaner of old temporary files): made again.
    if (fd < 0 && errno == ENOENT && CheckPrivateFolder(nullptr)) fd = OpenLockFile(host);
  }
  if (fd < 0) {
    FailErrno(errno, host);
    return nullptr;
  }
  if (!FlockWithin(fd, waitMilliseconds)) {
    FailErrno(errno, host);
    ::close(fd);
    return nullptr;
  }
  SetLastError(kErrSuccess);
  return std::make_unique<FlockHeld>(fd);
}

std::unique_ptr<HeldLock> PosixPlatform::AcquireLock(const std::string& name,
                                                     uint32_t waitMilliseconds) {
  return Lock(name, waitMilliseconds);
}

std::unique_ptr<HeldLock> PosixPlatform::TryAcquireLock(const std::string& name) {
  return Lock(name, 0);
}

}  // namespace cw::posix
