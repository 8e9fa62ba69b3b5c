// The console's end events through SetConsoleCtrlHandler. The handler runs on a thread of its
// own that Windows starts; the watch's callback runs there under a lock, so the watch's end
// waits for a callback that is still at work.
#include "platform/win32/windows_api.h"

#include <mutex>
#include <utility>

#include "platform/console_end.h"

namespace cw {
namespace {

std::mutex watchMutex;
std::function<void(const char*)> onEndNow;  // empty while no watch lives

BOOL WINAPI ConsoleEvent(DWORD event) { return HandleConsoleEnd(event) ? TRUE : FALSE; }

const char* EndNamed(unsigned long event) {
  switch (event) {
    case CTRL_CLOSE_EVENT:
      return "the console window was closed";
    case CTRL_LOGOFF_EVENT:
      return "the user is signing out";
    case CTRL_SHUTDOWN_EVENT:
      return "Windows is shutting down";
    default:
      return nullptr;
  }
}

}  // namespace

ConsoleEndWatch::ConsoleEndWatch(std::function<void(const char*)> onEnd) {
  {
    std::lock_guard<std::mutex> lock(watchMutex);
    onEndNow = std::move(onEnd);
  }
  ::SetConsoleCtrlHandler(ConsoleEvent, TRUE);
}

ConsoleEndWatch::~ConsoleEndWatch() {
  ::SetConsoleCtrlHandler(ConsoleEvent, FALSE);
  std::lock_guard<std::mutex> lock(watchMutex);
  onEndNow = nullptr;
}

bool HandleConsoleEnd(unsigned long event) {
  const char* what = EndNamed(event);
  if (what == nullptr) return false;
  std::lock_guard<std::mutex> lock(watchMutex);
  if (!onEndNow) return false;
  onEndNow(what);
  return true;
}

}  // namespace cw
