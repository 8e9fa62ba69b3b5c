// errno -> Windows error numbers, the way Windows would have answered the same call.
#include <errno.h>
#include <sys/stat.h>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

uint32_t WinErrorFromErrno(int err, const std::string& hostPath) {
  switch (err) {
    case 0:
      return kErrSuccess;
    case ENOENT: {
      // Windows tells a missing file (2) from a missing folder on the way (3).
      if (hostPath.empty()) return kErrFileNotFound;
      struct stat st;
      std::string parent = ParentOf(hostPath);
      return (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? kErrFileNotFound
                                                                       : kErrPathNotFound;
    }
    case ENOTDIR:
      return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:  // a link where a file is written (never followed there)
      return kErrAccessDenied;
    case EBADF:
      return kErrInvalidHandle;
    case EROFS:
      return kErrWriteProtect;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return kErrSharingViolation;
    case EEXIST:
      return kErrFileExists;
    case ENOSPC:
    case EDQUOT:
      return kErrDiskFull;
    case EIO:
      return kErrIoDevice;
    case ENOMEDIUM:
      return kErrNotReady;
    default:
      return kErrGenFailure;
  }
}

bool FailErrno(int err, const std::string& hostPath) {
  SetLastError(WinErrorFromErrno(err, hostPath));
  return false;
}

bool FailWith(uint32_t error) {
  SetLastError(error);
  return false;
}

}  // namespace cw::posix
