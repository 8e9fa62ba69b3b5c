#include "rules/file_rules.h"

namespace cw {

std::string GetFilenameNoPath(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileIsSpeciallyProtected(const Reporter& log, const std::string& path, bool keepsWholeCard) {
  log.Log("FileIsSpeciallyProtected");
  for (const char* part : {"NK.", "BPANEL.INI", ".HV", ".MKY", "\\PUBLIC\\", "\\WD\\"}) {
    if (Contains(path, part)) return true;
  }
  return keepsWholeCard;
}

bool FileIsCRCExempt(const std::string& path) {
  static const char* const kExempt[] = {
      ".MKY",          ".HV",
      "BPANEL.INI",    "OBJECTSTORE.INI",
      "\\PUBLIC\\",    "ADVANTECH DESKTOP.CAB",
      "ADVANTECH SYSTEM.CAB", "WINCE.REG",
      "NK.BIN",        "CALIBRATEME.TXT",
      "DISPLAYRELEASENOTES.TXT", "POCKETVNC.INI",
      "SETLANGUAGE.TXT", "NK.NBG",
      "FWP_INFO_FILE.TXT"};
  const std::string upper = ToUpperAscii(path);
  for (const char* part : kExempt) {
    if (Contains(upper, part)) return true;
  }
  return false;
}

}  // namespace cw
