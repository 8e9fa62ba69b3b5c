#include "platform/drive_map.h"

#include <cctype>
#include <limits>

// Rules of a mapping "E:=/path[,removable|fixed][,fs=NAME][,bytes=N]":
// - The letter is D: to Z: (either case). C: is always the host's root, and A:/B: belong to
//   floppy drives on Windows, so neither may be mapped.
// - The path runs from "=" to the first comma (so a mapped folder cannot contain a comma) and
//   must not be empty. A relative path is taken from the current folder by the backend.
// - Options: "removable" or "fixed" (at most one of them), "fs=NAME" (kept exactly as given,
//   because the card checks compare names case-sensitively), "bytes=N" (decimal digits,
//   0 allowed: a reader without a card). Each option at most once; anything else is refused.
// - Blanks around the whole mapping are ignored; blanks inside are part of the path or option.

namespace cw {

namespace {

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool ParseBytes(const std::string& digits, uint64_t* value) {
  if (digits.empty()) return false;
  uint64_t result = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (result > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

bool Fail(std::string* error, const std::string& reason) {
  if (error != nullptr) *error = reason;
  return false;
}

// "1234-ABCD" or "1234ABCD", as Windows shows a volume's serial number.
bool ParseSerialNumber(const std::string& text, uint32_t* serial) {
  std::string digits = text;
  if (digits.size() == 9 && digits[4] == '-') digits.erase(4, 1);
  if (digits.size() != 8) return false;
  uint32_t value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    value = value * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                   ? c - '0'
                                                   : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
  }
  *serial = value;
  return true;
}

bool ParseOptions(const std::vector<std::string>& options, DriveMapping* mapping,
                  std::string* error) {
  bool typeSeen = false;
  for (const std::string& option : options) {
    if (option == "removable" || option == "fixed") {
      if (typeSeen) return Fail(error, "more than one of \"removable\" and \"fixed\"");
      typeSeen = true;
      mapping->removable = option == "removable";
    } else if (option.rfind("fs=", 0) == 0) {
      if (mapping->fileSystem) return Fail(error, "\"fs=\" given twice");
      std::string name = option.substr(3);
      if (name.empty()) return Fail(error, "\"fs=\" needs a file-system name");
      for (char c : name) {
        if (!std::isgraph(static_cast<unsigned char>(c))) {
          return Fail(error,
                      "the file-system name \"" + name + "\" has a blank or control character");
        }
      }
      mapping->fileSystem = name;
    } else if (option.rfind("bytes=", 0) == 0) {
      if (mapping->totalBytes) return Fail(error, "\"bytes=\" given twice");
      uint64_t bytes = 0;
      if (!ParseBytes(option.substr(6), &bytes)) {
        return Fail(error, "\"" + option + "\" is not a byte count (decimal digits)");
      }
      mapping->totalBytes = bytes;
    } else if (option.rfind("serial=", 0) == 0) {
      if (mapping->serialNumber) return Fail(error, "\"serial=\" given twice");
      uint32_t serial = 0;
      if (!ParseSerialNumber(option.substr(7), &serial)) {
        return Fail(error, "\"" + option + "\" is not a volume serial number (XXXX-XXXX, hex)");
      }
      mapping->serialNumber = serial;
    } else if (option.empty()) {
      return Fail(error, "an empty option (two commas, or a comma at the end)");
    } else {
      return Fail(error,
                  "unknown option \"" + option +
                      "\" (known: removable, fixed, fs=NAME, bytes=N, serial=XXXX-XXXX)");
    }
  }
  return true;
}

}  // namespace

std::optional<DriveMapping> ParseDriveMapping(const std::string& text, std::string* error) {
  const std::string mappingText = Trim(text);
  auto refuse = [&](const std::string& reason) -> std::optional<DriveMapping> {
    Fail(error, "bad drive mapping \"" + mappingText + "\": " + reason);
    return std::nullopt;
  };
  if (mappingText.size() < 3 || mappingText[1] != ':' || mappingText[2] != '=') {
    return refuse("expected LETTER:=FOLDER[,removable|fixed][,fs=NAME][,bytes=N][,serial=XXXX-XXXX]");
  }
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(mappingText[0])));
  if (letter < 'A' || letter > 'Z') return refuse("the drive letter must be D: to Z:");
  if (letter == 'C') return refuse("C: is always the host's root folder and cannot be mapped");
  if (letter == 'A' || letter == 'B') {
    return refuse("A: and B: are floppy-drive letters; use D: to Z:");
  }

  std::vector<std::string> parts = Split(mappingText.substr(3), ',');
  DriveMapping mapping;
  mapping.letter = letter;
  mapping.hostPath = parts[0];
  if (mapping.hostPath.empty()) return refuse("the folder is missing");
  std::string reason;
  if (!ParseOptions(std::vector<std::string>(parts.begin() + 1, parts.end()), &mapping, &reason)) {
    return refuse(reason);
  }
  return mapping;
}

bool ParseDriveMappingList(const std::string& text, std::vector<DriveMapping>* mappings,
                           std::string* error) {
  std::vector<DriveMapping> parsed;
  for (const std::string& item : Split(text, ';')) {
    if (Trim(item).empty()) continue;
    std::optional<DriveMapping> mapping = ParseDriveMapping(item, error);
    if (!mapping) return false;
    for (const DriveMapping& earlier : parsed) {
      if (earlier.letter == mapping->letter) {
        return Fail(error, std::string("drive ") + mapping->letter + ": is mapped twice");
      }
    }
    parsed.push_back(*mapping);
  }
  *mappings = std::move(parsed);
  return true;
}

}  // namespace cw
