// Named locks are named mutexes, one per name: the log asks for "B_LOGTOFILE_MUTEX" by that
// name (every instance shares it for whole log lines), and a lock on a file (a backup folder's
// lock) gets a mutex named from the file's path, so no lock ever waits for an unrelated one.
// A mutex belongs to the thread that took it: a HeldLock must be released on that thread, and
// that thread may take the same lock again without waiting.
//
// An elevated instance's mutex would by default admit only administrators, and a normal
// instance of the same user could then neither open nor wait on it. Each mutex is therefore
// made with a security descriptor that lets everyone of the session wait on it and release it,
// at low integrity so that no integrity level is kept out; the names are the session's own, so
// other sessions' instances are never let in.
#include "platform/win32/windows_api.h"

#include <sddl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace cw::win32 {

namespace {

constexpr const char* kLogMutex = "B_LOGTOFILE_MUTEX";

// Full control for the system, administrators and the owner; wait and release for everyone;
// the low integrity label, whose "no write up" keeps out none of the program's instances.
constexpr const char* kMutexSecurity =
    "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)(A;;0x00100001;;;WD)S:(ML;;NW;;;LW)";
// The rights a lock needs: to wait on the mutex, and to release it.
constexpr DWORD kMutexRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The descriptor, made once for the process; nullptr (the default security) when it cannot be.
SECURITY_ATTRIBUTES* SharedMutexSecurity() {
  static SECURITY_ATTRIBUTES attributes{};
  static SECURITY_ATTRIBUTES* made = [] {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kMutexSecurity, SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
      return static_cast<SECURITY_ATTRIBUTES*>(nullptr);
    }
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;  // kept for the process's life
    attributes.bInheritHandle = FALSE;
    return &attributes;
  }();
  return made;
}

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

// Kernel object names may not hold a backslash and must stay short: unsafe characters become
// '_', and a long name keeps its head and a hash of the whole.
std::string SafeName(const std::string& prefix, const std::string& name) {
  constexpr size_t kMaxNameChars = 200;
  std::string safe = prefix;
  for (char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    safe += plain ? c : '_';
  }
  if (safe.size() <= kMaxNameChars) return safe;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a over the name as given
  for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
  char tail[24];
  std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
  return safe.substr(0, kMaxNameChars - std::strlen(tail)) + tail;
}

}  // namespace

std::string MutexNameFor(const std::string& lockName) {
  if (lockName == kLogMutex) return kLogMutex;
  // Windows paths name the same file whatever their case.
  if (NamesAFile(lockName)) return SafeName("cardwright-file-", ToUpperAscii(lockName));
  return SafeName("cardwright-", lockName);
}

// A mutex left by a process that died while holding it (WAIT_ABANDONED) is ours now: the
// log opens, writes and closes a whole line under it, so a dead holder leaves nothing to mend.
std::unique_ptr<HeldLock> Win32Platform::Lock(const std::string& name, DWORD waitMilliseconds) {
  // Only the rights a lock needs are asked for, so a mutex another instance made opens here.
  const HANDLE mutex = ::CreateMutexExA(SharedMutexSecurity(), MutexNameFor(name).c_str(), 0,
                                        kMutexRights);
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

std::unique_ptr<HeldLock> Win32Platform::AcquireLock(const std::string& name,
                                                     uint32_t waitMilliseconds) {
  return Lock(name, waitMilliseconds == kWaitForever ? INFINITE : waitMilliseconds);
}

std::unique_ptr<HeldLock> Win32Platform::TryAcquireLock(const std::string& name) {
  return Lock(name, 0);
}

// Mutex names without a "Global\\" prefix live in the session's own namespace, and %TEMP% is
// the user's: nothing to check.
bool Win32Platform::CheckPrivateFolder(std::string* /*why*/) {
  cw::SetLastError(kErrSuccess);
  return true;
}

}  // namespace cw::win32
