#include "card/file_utils.h"

#include <vector>

#include "platform/platform.h"

namespace cw {

bool CFileUtils::FileExists(std::string path) {
  std::vector<FindEntry> matches;
  return platform_.FindFiles(path, &matches);
}

bool CFileUtils::RemoveFile(std::string path) {
  const bool removed = platform_.DeleteFile(path);
  if (!removed) (void)GetLastError();  // fetched and dropped: the caller only needs the result
  return removed;
}

bool CFileUtils::CreateFolderPath(std::string path) {
  // Index 0 is never a separator; every prefix ending before a backslash is one folder level.
  std::string::size_type p = path.find('\\', 1);
  while (p != std::string::npos) {
    const std::string folder = path.substr(0, p);
    if (!FileExists(folder) && !platform_.CreateDirectory(folder)) return false;
    p = path.find('\\', p + 1);
  }
  if (!FileExists(path) && !platform_.CreateDirectory(path)) return false;
  return true;
}

bool CFileUtils::CopyNewFile(std::string destination, std::string source) {
  const bool copied = platform_.CopyFile(source, destination, /*failIfExists=*/true);
  if (!copied) (void)GetLastError();
  return copied;
}

}  // namespace cw
