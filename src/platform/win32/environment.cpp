// Current, temporary and documents folders, user name, local time and sleeps.
#include "platform/win32/windows_api.h"

#include <lmcons.h>

#include <vector>

#include "platform/win32/win32_platform.h"

namespace cw::win32 {

std::string Win32Platform::GetCurrentDirectory() {
  const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed + 1);
  const DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

// As Windows returns it, with its trailing backslash.
std::string Win32Platform::GetTempPath() {
  char buffer[MAX_PATH + 2] = {};
  const DWORD length = ::GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer, length);
}

// The shell's "personal" folder, created if missing.
bool Win32Platform::GetDocumentsFolder(std::string* path) {
  char buffer[MAX_PATH] = {};
  const HRESULT result = ::SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr,
                                            SHGFP_TYPE_CURRENT, buffer);
  if (result != S_OK) {
    return FailWith(HRESULT_FACILITY(result) == FACILITY_WIN32 ? uint32_t(HRESULT_CODE(result))
                                                               : uint32_t{kErrPathNotFound});
  }
  *path = buffer;
  cw::SetLastError(kErrSuccess);
  return true;
}

std::string Win32Platform::GetUserName() {
  char buffer[UNLEN + 1] = {};
  DWORD length = sizeof buffer;
  if (!::GetUserNameA(buffer, &length)) return std::string();
  return buffer;
}

WallTime Win32Platform::GetWallTime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const int64_t ticks = (int64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;  // 100 ns, 1601
  WallTime time;
  time.unixMilliseconds = ticks / 10000 - 11644473600000;
  TIME_ZONE_INFORMATION zone;
  const DWORD which = ::GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias;  // minutes to add to local time for UTC
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  if (which != TIME_ZONE_ID_INVALID) time.utcOffsetMinutes = -bias;
  return time;
}

std::string Win32Platform::GetHostName() {
  char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = sizeof buffer;
  if (!::GetComputerNameA(buffer, &length)) return std::string();
  return buffer;
}

LocalTime Win32Platform::GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.milliseconds = now.wMilliseconds;
  return time;
}

void Win32Platform::Sleep(uint32_t milliseconds) {
  if (!options_.instantSleeps) ::Sleep(milliseconds);
}

}  // namespace cw::win32
