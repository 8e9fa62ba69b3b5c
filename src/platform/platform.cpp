#include "platform/platform.h"

namespace cw {

namespace {

thread_local uint32_t t_lastError = kErrSuccess;

}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t error) { t_lastError = error; }

}  // namespace cw
