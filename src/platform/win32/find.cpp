// Find-first/next over a pattern, in the order the file system gives. "." and ".." are never
// returned, as on the POSIX side (every caller skips them, and a drive root has none).
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_platform.h"
#include "platform/wildcard.h"

namespace cw::win32 {

FileTime FromFileTime(const FILETIME& time) {
  constexpr int64_t kUnixEpochIn100ns = 116444736000000000LL;
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return (ticks - kUnixEpochIn100ns) * 100;
}

bool Win32Platform::FindFiles(const std::string& pattern, std::vector<FindEntry>* matches) {
  matches->clear();
  // "E:\DATA\" finds nothing, whatever a given Windows version makes of the trailing separator.
  if (pattern.empty() || pattern.back() == '\\' || pattern.back() == '/') {
    return FailWith(kErrFileNotFound);
  }
  // A bare drive ("E:") names the drive's root, as on the POSIX side: CreateFolderPath tests it
  // before the folders below it. Windows would search the drive's current folder instead, and
  // find nothing when that is the root.
  if (pattern.size() == 2 && pattern[1] == ':') {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA((pattern + "\\").c_str(), GetFileExInfoStandard, &data)) {
      return FailSystem();
    }
    FindEntry entry;
    entry.name = pattern;
    entry.attributes = data.dwFileAttributes;
    entry.writeTime = FromFileTime(data.ftLastWriteTime);
    matches->push_back(entry);
    cw::SetLastError(kErrSuccess);
    return true;
  }
  // FindFirstFile also matches a name's 8.3 alias: "*.FWP" finds "UPGRADE.FWPOLD" through
  // "UPGRA~1.FWP", and a renamed old copy would pass for the card's own. Only matches whose long
  // name matches are kept; a name without wildcards is looked up as given.
  const size_t cut = pattern.find_last_of("\\/:");
  const std::string namePattern = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  const bool filter = HasWildcard(namePattern);
  WIN32_FIND_DATAA found;
  const HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return FailSystem();
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (filter && !WildcardMatch(namePattern, name)) continue;
    FindEntry entry;
    entry.name = name;
    entry.attributes = found.dwFileAttributes;
    entry.size = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                     ? 0
                     : (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.writeTime = FromFileTime(found.ftLastWriteTime);
    matches->push_back(entry);
  } while (::FindNextFileA(search, &found));
  const DWORD stop = ::GetLastError();
  ::FindClose(search);
  if (stop != ERROR_NO_MORE_FILES) {
    cw::SetLastError(stop != ERROR_SUCCESS ? stop : DWORD{kErrGenFailure});
    matches->clear();
    return false;
  }
  if (matches->empty()) return FailWith(kErrFileNotFound);
  cw::SetLastError(kErrSuccess);
  return true;
}

}  // namespace cw::win32
