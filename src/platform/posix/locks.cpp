// Exclusive locks by name, across threads and processes: flock on a file. Each acquisition
// opens its own descriptor, so two threads of one process exclude each other too (flock
// locks belong to the open file, not the process).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

int OpenLockFile(const std::string& hostPath) {
  int fd = ::open(hostPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);  // a read-only log locks too
  return fd;
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
// lock still serialises everyone who asks for it.
std::unique_ptr<HeldLock> PosixPlatform::Lock(const std::string& name, bool wait) {
  int fd = -1;
  std::string host;
  if (NamesAFile(name) && Resolve(name, &host)) fd = OpenLockFile(host);
  if (fd < 0) {
    host = NamedLockPath(options_.lockFolder, name);
    fd = OpenLockFile(host);
  }
  if (fd < 0) {
    FailErrno(errno, host);
    return nullptr;
  }
  int result;
  while ((result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    FailErrno(errno, host);
    ::close(fd);
    return nullptr;
  }
  SetLastError(kErrSuccess);
  return std::make_unique<FlockHeld>(fd);
}

std::unique_ptr<HeldLock> PosixPlatform::AcquireLock(const std::string& name) {
  return Lock(name, true);
}

std::unique_ptr<HeldLock> PosixPlatform::TryAcquireLock(const std::string& name) {
  return Lock(name, false);
}

}  // namespace cw::posix
