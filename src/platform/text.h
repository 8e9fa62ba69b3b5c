#pragma once
// Small text helpers shared by every layer. Upper-casing is ASCII-only, as the program's name
// tests need, so UTF-8 names pass through unchanged.

#include <cstdarg>
#include <string>

namespace cw {

inline char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

inline std::string ToUpperAscii(std::string text) {
  for (char& c : text) c = ToUpperAscii(c);
  return text;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Replaces every occurrence of `from` (not empty) with `to`, left to right.
inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Replaces the leading `prefix` of `text`, matched ASCII case-insensitively, with `to`. False,
// leaving *out alone, when `text` does not start with it.
inline bool ReplacePrefix(const std::string& text, const std::string& prefix, const std::string& to,
                          std::string* out) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (ToUpperAscii(text[i]) != ToUpperAscii(prefix[i])) return false;
  *out = to + text.substr(prefix.size());
  return true;
}

// printf-style formatting into a std::string (the jobs' message formats are printf formats).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

}  // namespace cw
