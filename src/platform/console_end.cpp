// POSIX: no console announces its end; SIGTERM and SIGHUP are signals (see console_end.h).
#ifndef _WIN32

#include "platform/console_end.h"

namespace cw {

ConsoleEndWatch::ConsoleEndWatch(std::function<void(const char*)> /*onEnd*/) {}
ConsoleEndWatch::~ConsoleEndWatch() = default;
bool HandleConsoleEnd(unsigned long /*event*/) { return false; }

}  // namespace cw

#endif
