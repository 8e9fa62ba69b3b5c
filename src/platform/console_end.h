#pragma once
// The ends of a console run that Windows announces to the program: its console window closed,
// the user signing out, Windows shutting down. Windows ends the program as soon as the
// announcement's handler returns, and at the latest about 5 s after it began, so whatever must
// be said, logged or saved is done inside the handler, within that grace. POSIX has no such
// announcement (SIGTERM and SIGHUP reach the signal handlers): there the watch does nothing.

#include <functional>

namespace cw {

class ConsoleEndWatch {
 public:
  // While the watch lives, `onEnd` runs on the thread Windows announces the end on, given a
  // few words saying which end came ("the console window was closed"); the program ends when
  // it returns.
  explicit ConsoleEndWatch(std::function<void(const char* what)> onEnd);
  // Waits for an `onEnd` that is running.
  ~ConsoleEndWatch();
  ConsoleEndWatch(const ConsoleEndWatch&) = delete;
  ConsoleEndWatch& operator=(const ConsoleEndWatch&) = delete;
};

// What Windows calls with each console event (CTRL_CLOSE_EVENT, ...): true when the event is
// one of the three ends and a watch handled it; Ctrl-C and Ctrl-Break are left to the signal
// handlers (false).
bool HandleConsoleEnd(unsigned long event);

}  // namespace cw
