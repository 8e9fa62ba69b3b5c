#pragma once
// Four small file operations on full Windows paths. None logs, shows or throws: the caller
// decides what a false result means.

#include <string>

#include "platform/platform.h"

namespace cw {

class CFileUtils {
 public:
  explicit CFileUtils(Platform& platform) : platform_(platform) {}
  virtual ~CFileUtils() = default;
  bool FileExists(std::string path);
  bool RemoveFile(std::string path);
  bool CreateFolderPath(std::string path);
  // Destination first; never overwrites.
  bool CopyNewFile(std::string destination, std::string source);

 private:
  Platform& platform_;
};

}  // namespace cw
