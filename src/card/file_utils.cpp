#include "card/file_utils.h"

#include <vector>

#include "platform/folder_chain.h"
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
  for (const std::string& folder : FolderPrefixes(path))
    if (!FileExists(folder) && !platform_.CreateDirectory(folder)) return false;
  if (!FileExists(path) && !platform_.CreateDirectory(path)) return false;
  return true;
}

bool CFileUtils::CopyNewFile(std::string destination, std::string source) {
  const bool copied = platform_.CopyFile(source, destination, /*failIfExists=*/true);
  if (!copied) (void)GetLastError();
  return copied;
}

}  // namespace cw
