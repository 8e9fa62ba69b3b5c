#pragma once
// A one-pass reader of one journal line's JSON: it walks the whole value, refuses anything that
// is not complete JSON, and hands each string or number member to `found` by its dotted path
// ("card.serial"; array members are not handed on). Listing and checking a large journal go at
// the speed of this scan instead of building every line as a document.

#include <cstdint>
#include <string>
#include <string_view>

namespace cw {

template <typename Found>
class LineScan {
 public:
  LineScan(std::string_view text, Found& found) : s_(text), found_(found) {}

  // True when the text is exactly one JSON value (surrounding blanks allowed).
  bool Whole() {
    std::string path;
    if (!Value(path, true)) return false;
    Blanks();
    return at_ == s_.size();
  }

 private:
  void Blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\r')) ++at_;
  }
  bool Take(char c) {
    Blanks();
    if (at_ >= s_.size() || s_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool Value(std::string& path, bool handOn) {
    Blanks();
    if (at_ >= s_.size()) return false;
    const char c = s_[at_];
    if (c == '{') return Object(path, handOn);
    if (c == '[') return Array();
    if (c == '"') {
      std::string_view text;
      if (!String(&text)) return false;
      if (handOn) found_(path, text, true);
      return true;
    }
    const size_t start = at_;
    while (at_ < s_.size() && IsScalarChar(s_[at_])) ++at_;
    const std::string_view raw = s_.substr(start, at_ - start);
    if (raw.empty()) return false;
    if ((raw[0] == 't' && raw != "true") || (raw[0] == 'f' && raw != "false") ||
        (raw[0] == 'n' && raw != "null"))
      return false;
    if (handOn) found_(path, raw, false);
    return true;
  }
  bool Object(std::string& path, bool handOn) {
    ++at_;
    if (Take('}')) return true;
    const size_t base = path.size();
    do {
      std::string_view key;
      Blanks();
      if (at_ >= s_.size() || s_[at_] != '"' || !String(&key) || !Take(':')) return false;
      if (base != 0) path += '.';
      path += key;
      const bool ok = Value(path, handOn);
      path.resize(base);
      if (!ok) return false;
    } while (Take(','));
    return Take('}');
  }
  bool Array() {
    ++at_;
    if (Take(']')) return true;
    std::string none;
    do {
      if (!Value(none, false)) return false;
    } while (Take(','));
    return Take(']');
  }
  static bool IsScalarChar(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || (c >= 'a' && c <= 'z') ||
           c == 'E';
  }
  // At the opening quote; leaves `at_` after the closing one. A string without escapes is a
  // view into the line; one with escapes is decoded into `decoded_`, valid until the next.
  bool String(std::string_view* text) {
    size_t end = at_ + 1;
    while (end < s_.size() && s_[end] != '"' && s_[end] != '\\') ++end;
    if (end >= s_.size()) return false;
    if (s_[end] == '"') {
      *text = s_.substr(at_ + 1, end - at_ - 1);
      at_ = end + 1;
      return true;
    }
    decoded_.clear();
    if (!Decode(&decoded_)) return false;
    *text = decoded_;
    return true;
  }
  bool Decode(std::string* out) {
    ++at_;
    while (at_ < s_.size()) {
      const size_t run = s_.find_first_of("\"\\", at_);
      if (run == std::string_view::npos) return false;
      out->append(s_.substr(at_, run - at_));
      at_ = run + 1;
      if (s_[run] == '"') return true;
      if (at_ >= s_.size()) return false;
      const char e = s_[at_++];
      switch (e) {
        case '"': case '\\': case '/': *out += e; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
          uint32_t code = 0;
          if (!Hex4(&code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {  // a pair's first half; its second follows
            uint32_t low = 0;
            if (s_.substr(at_, 2) != "\\u" || (at_ += 2, !Hex4(&low)) || low < 0xDC00 || low > 0xDFFF)
              return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          Utf8(code, out);
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool Hex4(uint32_t* code) {
    if (at_ + 4 > s_.size()) return false;
    for (int i = 0; i < 4; ++i) {
      const char h = s_[at_++];
      const int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
      if (digit < 0) return false;
      *code = *code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
  }
  static void Utf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (code >> 18));
      *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::string_view s_;
  size_t at_ = 0;
  std::string decoded_;
  Found& found_;
};

}  // namespace cw
