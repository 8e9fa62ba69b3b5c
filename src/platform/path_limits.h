#pragma once
// Windows' MAX_PATH as the ANSI calls of the Win32 backend meet it. A path counts its
// terminating NUL: a file's path may have 259 characters, and a folder that CreateDirectory
// makes 247, since a folder must leave room for an 8.3 name (12 characters) below it. Longer
// paths fail with error 206 (ERROR_FILENAME_EXCED_RANGE).
//
// The backend keeps to these limits rather than use "\\?\" paths: every call it makes is the
// ANSI one, which takes no such prefix for all of them alike, and a job that checks its paths
// first can refuse before the card or a backup changes, where a call failing midway could not.

#include <cstddef>
#include <string>

namespace cw {

inline constexpr size_t kMaxPath = 260;
inline constexpr size_t kMaxFolderPath = kMaxPath - 12;

inline bool FileFitsMaxPath(const std::string& path) { return path.size() + 1 <= kMaxPath; }
inline bool FolderFitsMaxPath(const std::string& path) {
  return path.size() + 1 <= kMaxFolderPath;
}

}  // namespace cw
