// Error numbers are Windows' own: a failed call passes its GetLastError on unchanged.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_platform.h"

namespace cw::win32 {

// A failure never reads as success: a call that failed without saying why (0) is a general
// failure.
bool FailSystem() {
  const DWORD error = ::GetLastError();
  cw::SetLastError(error != ERROR_SUCCESS ? error : DWORD{kErrGenFailure});
  return false;
}

bool FailWith(uint32_t error) {
  cw::SetLastError(error);
  return false;
}

}  // namespace cw::win32
