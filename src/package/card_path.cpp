#include "package/card_path.h"

#include "platform/text.h"

namespace cw {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool OnlyDotsAndBlanks(const std::string& component) {
  return component.find_first_not_of(". ") == std::string::npos;
}

// A superscript one, two or three, in UTF-8 (the program's code page) or in the single byte of
// the Western ANSI code page an older Windows keeps: Windows takes COM¹ for a port as it takes
// COM1.
bool IsSuperscriptDigit(const std::string& text) {
  const bool utf8 = text.size() == 2 && static_cast<unsigned char>(text[0]) == 0xC2;
  const bool ansi = text.size() == 1;
  if (!utf8 && !ansi) return false;
  const auto last = static_cast<unsigned char>(text.back());
  return last == 0xB9 || last == 0xB2 || last == 0xB3;
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 and COM/LPT with a superscript 1-3, in any case, with or
// without an extension: Windows opens the device.
bool IsDeviceName(const std::string& component) {
  std::string base = ToUpperAscii(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  const std::string digit = base.substr(3);
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || IsSuperscriptDigit(digit);
}

// Windows drops a component's trailing dots and blanks, so "A." and "A " are the file "A": what
// is written and what is checked would then be two names for one file.
bool WindowsWouldRename(const std::string& component) {
  return component.back() == '.' || component.back() == ' ';
}

}  // namespace

bool CardPathIsSafe(const std::string& path) {
  if (path.find(':') != std::string::npos) return false;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string component = path.substr(start, end - start);
    if (!component.empty() && (OnlyDotsAndBlanks(component) || IsDeviceName(component) ||
                               WindowsWouldRename(component))) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace cw
