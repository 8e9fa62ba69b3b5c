#include "package/card_path.h"

#include "platform/text.h"

namespace cw {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool OnlyDotsAndBlanks(const std::string& component) {
  return component.find_first_not_of(". ") == std::string::npos;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension: Windows opens the device.
bool IsDeviceName(const std::string& component) {
  std::string base = ToUpperAscii(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
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
    if (!component.empty() && (OnlyDotsAndBlanks(component) || IsDeviceName(component))) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace cw
