#include "log/reporter.h"

#include <cstdarg>

#include "platform/text.h"

namespace cw {

void Reporter::LogF(const char* format, ...) const {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  Log(text);
}

}  // namespace cw
