#include "platform/wildcard.h"

#include "platform/text.h"

namespace cw {

namespace {

bool Glob(const char* pattern, const char* name) {
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' ||
               (*pattern != '\0' && ToUpperAscii(*pattern) == ToUpperAscii(*name))) {
      ++pattern;
      ++name;
    } else if (starPattern != nullptr) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (Glob(pattern.c_str(), name.c_str())) return true;
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
      Glob(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str())) {
    return true;
  }
  return !pattern.empty() && pattern.back() == '.' && name.find('.') == std::string::npos &&
         Glob(pattern.substr(0, pattern.size() - 1).c_str(), name.c_str());
}

}  // namespace cw
