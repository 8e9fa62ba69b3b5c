// Named locks are named mutexes. A file's lock is the log's "B_LOGTOFILE_MUTEX", as every
// instance of the program has always used it: one system-wide mutex for whole log lines.
// A mutex belongs to the thread that took it: a HeldLock must be released on that thread, and
// that thread may take the same lock again without waiting.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_platform.h"

namespace cw::win32 {

namespace {

constexpr const char* kLogMutex = "B_LOGTOFILE_MUTEX";

class MutexHeld final : public HeldLock {
 public:
  explicit MutexHeld(HANDLE mutex) : mutex_(mutex) {}
  ~MutexHeld() override {
    ::ReleaseMutex(mutex_);
    ::CloseHandle(mutex_);
  }

 private:
  HANDLE mutex_;
};

bool NamesAFile(const std::string& name) {
  return name.find('\\') != std::string::npos || name.find('/') != std::string::npos ||
         (name.size() >= 2 && name[1] == ':');
}

}  // namespace

std::string MutexNameFor(const std::string& lockName) {
  if (NamesAFile(lockName)) return kLogMutex;
  std::string safe = "cardwright-";
  for (char c : lockName) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    safe += plain ? c : '_';
  }
  return safe;
}

// A mutex left by a process that died while holding it (WAIT_ABANDONED) is ours now: the
// log opens, writes and closes a whole line under it, so a dead holder leaves nothing to mend.
std::unique_ptr<HeldLock> Win32Platform::Lock(const std::string& name, DWORD waitMilliseconds) {
  const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, MutexNameFor(name).c_str());
  if (mutex == nullptr) {
    FailSystem();
    return nullptr;
  }
  const DWORD waited = ::WaitForSingleObject(mutex, waitMilliseconds);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    cw::SetLastError(kErrSuccess);
    return std::make_unique<MutexHeld>(mutex);
  }
  if (waited == WAIT_TIMEOUT) {
    FailWith(kErrSharingViolation);  // busy, as the POSIX side reports a held lock
  } else {
    FailSystem();
  }
  ::CloseHandle(mutex);
  return nullptr;
}

std::unique_ptr<HeldLock> Win32Platform::AcquireLock(const std::string& name) {
  return Lock(name, INFINITE);
}

std::unique_ptr<HeldLock> Win32Platform::TryAcquireLock(const std::string& name) {
  return Lock(name, 0);
}

}  // namespace cw::win32
