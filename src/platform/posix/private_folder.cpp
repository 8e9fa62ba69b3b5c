// The folder that belongs to this user alone: named locks and the temporary folder live there,
// as Windows keeps named objects per session and %TEMP% per user. A shared folder such as /tmp
// would let any account hold a lock every Cardwright waits for, or plant a link where a root
// run creates a file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

std::string PrivateFolderFor(const std::string& runtimeFolder, const std::string& tempFolder,
                             unsigned uid) {
  if (!runtimeFolder.empty()) return NormalHostPath(runtimeFolder);
  const std::string temp = tempFolder.empty() ? std::string("/tmp") : tempFolder;
  return JoinHost(NormalHostPath(temp), "cardwright-" + std::to_string(uid));
}

std::string MakePrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return folder + " cannot be made (" + std::strerror(errno) + ")";
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0)
    return folder + " cannot be read (" + std::strerror(errno) + ")";
  if (S_ISLNK(st.st_mode)) return folder + " is a symbolic link, not a folder";
  if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
  if (st.st_uid != ::geteuid()) return folder + " belongs to another account";
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return folder + " is open to other accounts (mode " + mode + ")";
  }
  return std::string();
}

bool PosixPlatform::CheckPrivateFolder(std::string* why) {
  std::string problem = MakePrivateFolder(privateFolder_);
  privateFolderReady_ = problem.empty();
  if (!privateFolderReady_) {
    if (why != nullptr) *why = std::move(problem);
    return FailWith(kErrAccessDenied);
  }
  SetLastError(kErrSuccess);
  return true;
}

bool PosixPlatform::PrivateFolderReady() {
  return privateFolderReady_ || CheckPrivateFolder(nullptr);
}

}  // namespace cw::posix
