// Open files, copy, delete, folders and attributes: the Windows calls themselves, so their
// rules (a read-only file is neither written nor deleted, a folder is no file, a hidden file
// is not replaced) and their error numbers are Windows' own.
#include "platform/win32/windows_api.h"

#include <vector>

#include "platform/win32/win32_platform.h"

namespace cw::win32 {

namespace {

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }

  bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
    *bytesRead = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (*bytesRead < size) {
      DWORD got = 0;
      if (!::ReadFile(handle_, bytes + *bytesRead, size - *bytesRead, &got, nullptr)) {
        return FailSystem();
      }
      if (got == 0) break;  // end of file
      *bytesRead += got;
    }
    cw::SetLastError(kErrSuccess);
    return true;
  }

  bool Write(const void* buffer, uint32_t size) override {
    const auto* bytes = static_cast<const char*>(buffer);
    uint32_t written = 0;
    while (written < size) {
      DWORD put = 0;
      if (!::WriteFile(handle_, bytes + written, size - written, &put, nullptr)) {
        return FailSystem();
      }
      if (put == 0) return FailWith(kErrDiskFull);
      written += put;
    }
    cw::SetLastError(kErrSuccess);
    return true;
  }

  bool Seek(int64_t offset, SeekFrom from) override {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    const DWORD method = from == SeekFrom::Begin     ? FILE_BEGIN
                         : from == SeekFrom::Current ? FILE_CURRENT
                                                     : FILE_END;
    if (!::SetFilePointerEx(handle_, distance, nullptr, method)) return FailSystem();
    return true;
  }

  int64_t Tell() override {
    LARGE_INTEGER zero{}, at{};
    if (!::SetFilePointerEx(handle_, zero, &at, FILE_CURRENT)) {
      FailSystem();
      return -1;
    }
    return at.QuadPart;
  }

  bool GetSize(uint64_t* size) override {
    LARGE_INTEGER bytes{};
    if (!::GetFileSizeEx(handle_, &bytes)) return FailSystem();
    *size = static_cast<uint64_t>(bytes.QuadPart);
    return true;
  }

  bool Flush() override { return ::FlushFileBuffers(handle_) ? true : FailSystem(); }

  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return FailWith(kErrInvalidHandle);
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) ? true : FailSystem();
  }

 private:
  HANDLE handle_;
};

DWORD CreationOf(OpenMode mode) {
  switch (mode) {
    case OpenMode::Read:
    case OpenMode::ReadWrite:
      return OPEN_EXISTING;
    case OpenMode::CreateAlways:
      return CREATE_ALWAYS;
    case OpenMode::OpenAlways:
    case OpenMode::Append:
      return OPEN_ALWAYS;
    case OpenMode::CreateNew:
      return CREATE_NEW;
  }
  return OPEN_EXISTING;
}

// Windows itself refuses to write a read-only file; Wine running as root does not (root may
// write any file on the host), so the rule is checked here too.
bool IsReadOnlyFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

std::unique_ptr<File> Win32Platform::OpenFile(const std::string& path, OpenMode mode) {
  if (mode != OpenMode::Read && mode != OpenMode::CreateNew && IsReadOnlyFile(path)) {
    FailWith(kErrAccessDenied);
    return nullptr;
  }
  // Appending asks for FILE_APPEND_DATA without FILE_WRITE_DATA: Windows then puts every write
  // at the file's end.
  const DWORD access = mode == OpenMode::Read     ? GENERIC_READ
                       : mode == OpenMode::Append ? GENERIC_READ | FILE_APPEND_DATA | SYNCHRONIZE
                                                  : GENERIC_READ | GENERIC_WRITE;
  // Files opened to be read are read from start to end (checksums, copies).
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL | (mode == OpenMode::Read ? FILE_FLAG_SEQUENTIAL_SCAN : 0);
  const HANDLE handle = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, CreationOf(mode), flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    FailSystem();
    return nullptr;
  }
  cw::SetLastError(kErrSuccess);  // not 183, which CREATE_ALWAYS leaves for an existing file
  return std::make_unique<Win32File>(handle);
}

bool Win32Platform::CopyFile(const std::string& source, const std::string& destination,
                             bool failIfExists, CopyWatcher* watcher) {
  if (!failIfExists && IsReadOnlyFile(destination)) return FailWith(kErrAccessDenied);
  if (watcher != nullptr) return CopyWatched(source, destination, failIfExists, *watcher);
  if (!::CopyFileA(source.c_str(), destination.c_str(), failIfExists ? TRUE : FALSE)) {
    return FailSystem();
  }
  cw::SetLastError(kErrSuccess);
  return true;
}

// CopyFile cannot show the bytes it copies, so a watched copy reads and writes them itself,
// then gives the copy the source's times and attributes as CopyFile would.
bool Win32Platform::CopyWatched(const std::string& source, const std::string& destination,
                                bool failIfExists, CopyWatcher& watcher) {
  HANDLE in = ::CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return FailSystem();
  HANDLE out = ::CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr,
                             failIfExists ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(in);
    return FailWith(error);
  }
  std::vector<char> buffer(1 << 20);
  DWORD error = ERROR_SUCCESS;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      error = ::GetLastError();
      break;
    }
    if (got == 0) break;
    watcher.Copied(buffer.data(), got);
    DWORD put = 0;
    if (!::WriteFile(out, buffer.data(), got, &put, nullptr) || put != got) {
      error = put != got && ::GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : ::GetLastError();
      break;
    }
  }
  FILETIME created{}, accessed{}, written{};
  if (error == ERROR_SUCCESS && ::GetFileTime(in, &created, &accessed, &written))
    ::SetFileTime(out, &created, &accessed, &written);
  ::CloseHandle(in);
  if (!::CloseHandle(out) && error == ERROR_SUCCESS) error = ::GetLastError();
  if (error != ERROR_SUCCESS) {
    ::DeleteFileA(destination.c_str());
    return FailWith(error);
  }
  const DWORD attributes = ::GetFileAttributesA(source.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      !::SetFileAttributesA(destination.c_str(), attributes & ~FILE_ATTRIBUTE_DIRECTORY)) {
    return FailSystem();
  }
  cw::SetLastError(kErrSuccess);
  return true;
}

// Write-through: the rename is on the disk when the call returns.
bool Win32Platform::MoveFile(const std::string& source, const std::string& destination) {
  if (!::MoveFileExA(source.c_str(), destination.c_str(), MOVEFILE_WRITE_THROUGH)) {
    return FailSystem();
  }
  cw::SetLastError(kErrSuccess);
  return true;
}

bool Win32Platform::RemoveDirectory(const std::string& path) {
  if (!::RemoveDirectoryA(path.c_str())) return FailSystem();
  cw::SetLastError(kErrSuccess);
  return true;
}

bool Win32Platform::DeleteFile(const std::string& path) {
  if (!::DeleteFileA(path.c_str())) return FailSystem();
  cw::SetLastError(kErrSuccess);
  return true;
}

bool Win32Platform::CreateDirectory(const std::string& path) {
  if (!::CreateDirectoryA(path.c_str(), nullptr)) return FailSystem();
  cw::SetLastError(kErrSuccess);
  return true;
}

uint32_t Win32Platform::GetFileAttributes(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    FailSystem();
    return kInvalidAttributes;
  }
  cw::SetLastError(kErrSuccess);
  return attributes;
}

bool Win32Platform::SetFileAttributes(const std::string& path, uint32_t attributes) {
  if (!::SetFileAttributesA(path.c_str(), attributes)) return FailSystem();
  cw::SetLastError(kErrSuccess);
  return true;
}

// The name is the path's last component as given ("E:\" has none).
bool Win32Platform::GetFileInfo(const std::string& path, FindEntry* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return FailSystem();
  std::string trimmed = path;
  while (!trimmed.empty() && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
  const size_t cut = trimmed.find_last_of("\\/:");
  info->name = cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
  info->attributes = data.dwFileAttributes;
  info->size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? 0
                   : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->writeTime = FromFileTime(data.ftLastWriteTime);
  cw::SetLastError(kErrSuccess);
  return true;
}

// FlushFileBuffers on each file: Windows flushes a whole volume only for an administrator.
namespace {

HANDLE OpenForFlush(const std::string& path) {
  // FlushFileBuffers needs write access to the handle; nothing is written through it.
  return ::CreateFileA(path.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Flushes one file. A read-only copy (the card's file was read-only and the copy keeps its
// attributes) refuses write access, so read-only is cleared for the flush and put back after:
// the copy ends as it was, and the flush is not failed by an attribute. Tested by attribute,
// as OpenFile does, since Wine running as root would grant the access.
bool FlushOne(const std::string& path) {
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD restore = INVALID_FILE_ATTRIBUTES;
  if (IsReadOnlyFile(path)) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str()) & kSettable;
    if (!::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
      return FailSystem();
    }
    restore = attributes;
  }
  DWORD error = ERROR_SUCCESS;
  const HANDLE handle = OpenForFlush(path);
  if (handle == INVALID_HANDLE_VALUE) {
    error = ::GetLastError();
  } else {
    if (!::FlushFileBuffers(handle)) error = ::GetLastError();
    ::CloseHandle(handle);
  }
  if (restore != INVALID_FILE_ATTRIBUTES && !::SetFileAttributesA(path.c_str(), restore) &&
      error == ERROR_SUCCESS) {
    error = ::GetLastError();
  }
  if (error == ERROR_SUCCESS) return true;
  cw::SetLastError(error);
  return false;
}

}  // namespace

bool Win32Platform::FlushFiles(const std::string&, const std::vector<std::string>& files) {
  for (const std::string& path : files) {
    if (!FlushOne(path)) return false;
  }
  cw::SetLastError(kErrSuccess);
  return true;
}

std::string Win32Platform::ToHostPath(const std::string& path) {
  const DWORD needed = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed + 1);
  const DWORD length =
      ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

}  // namespace cw::win32
