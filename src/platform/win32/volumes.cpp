// Raw volumes ("\\.\E:"): opened read-write and shared, locked, dismounted and asked whether
// still mounted through DeviceIoControl, as the card's ejection needs. The lock comes first: a
// volume another program uses is never dismounted under it.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_platform.h"

namespace cw::win32 {

namespace {

class Win32Volume final : public Volume {
 public:
  explicit Win32Volume(HANDLE handle) : handle_(handle) {}
  ~Win32Volume() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  HANDLE handle_;
};

Win32Volume* AsWin32(Volume* volume) {
  auto* win32 = dynamic_cast<Win32Volume*>(volume);
  return (win32 != nullptr && win32->handle_ != INVALID_HANDLE_VALUE) ? win32 : nullptr;
}

// A held volume is asked this many times in all, this long apart, before the lock gives up.
constexpr int kLockAttempts = 5;
constexpr uint32_t kLockRetryMs = 200;

bool HeldByAnother(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

}  // namespace

bool SystemVolumeControl(HANDLE volume, DWORD controlCode) {
  DWORD returned = 0;  // no output buffer; the count is ignored
  return ::DeviceIoControl(volume, controlCode, nullptr, 0, nullptr, 0, &returned, nullptr) != 0;
}

std::unique_ptr<Volume> Win32Platform::OpenVolume(const std::string& devicePath) {
  const HANDLE handle =
      ::CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    FailSystem();
    return nullptr;
  }
  cw::SetLastError(kErrSuccess);
  return std::make_unique<Win32Volume>(handle);
}

bool Win32Platform::LockVolume(Volume& volume) {
  Win32Volume* win32 = AsWin32(&volume);
  if (win32 == nullptr) return FailWith(kErrInvalidHandle);
  for (int attempt = 1;; ++attempt) {
    if (options_.volumeControl(win32->handle_, FSCTL_LOCK_VOLUME)) break;
    const DWORD error = ::GetLastError();
    if (!HeldByAnother(error) || attempt == kLockAttempts) {
      ::SetLastError(error);
      return FailSystem();
    }
    Sleep(kLockRetryMs);
  }
  cw::SetLastError(kErrSuccess);
  return true;
}

bool Win32Platform::DismountVolume(Volume& volume) {
  Win32Volume* win32 = AsWin32(&volume);
  if (win32 == nullptr) return FailWith(kErrInvalidHandle);
  if (!options_.volumeControl(win32->handle_, FSCTL_DISMOUNT_VOLUME)) return FailSystem();
  cw::SetLastError(kErrSuccess);
  return true;
}

// FSCTL_IS_VOLUME_MOUNTED succeeds while the volume is mounted and fails once it is not.
bool Win32Platform::IsVolumeMounted(Volume& volume) {
  Win32Volume* win32 = AsWin32(&volume);
  if (win32 == nullptr) return FailWith(kErrInvalidHandle);
  if (!options_.volumeControl(win32->handle_, FSCTL_IS_VOLUME_MOUNTED)) return FailSystem();
  cw::SetLastError(kErrSuccess);
  return true;
}

bool Win32Platform::CloseVolume(std::unique_ptr<Volume> volume) {
  Win32Volume* win32 = AsWin32(volume.get());
  if (win32 == nullptr) return FailWith(kErrInvalidHandle);
  const HANDLE handle = win32->handle_;
  win32->handle_ = INVALID_HANDLE_VALUE;
  if (!::CloseHandle(handle)) return FailSystem();
  cw::SetLastError(kErrSuccess);
  return true;
}

}  // namespace cw::win32
