#include "rules/file_rules.h"

#include "record/job_io.h"
#include "record/job_state.h"

namespace cw {

std::string GetFilenameNoPath(JobState& state, const std::string& path) {
  state.Log("GetFilenameNoPath");
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileIsRelevant(JobState& state, FILE_INFO_STRUCT record) {
  state.Log("FileIsRelevant");
  const int32_t kind = record.kind;
  if (kind == kKindCommonRaw || kind == kKindCommon) return true;
  switch (state.targetType) {
    case kTargetEngine:
      return kind == kKindEngine2 || kind == kKindEngine7 || kind == kKindEngine10 ||
             kind == kKindEngine13 ||
             Contains(ToUpperAscii(FieldText(record.cardPath)), "ZLIBCE.DLL");
    case kTargetPanel3940:
      return kind == kKindPanel3940 || kind == kKindPanel3940Raw;
    case kTargetPanel3950:
      return kind == kKindPanel3950 || kind == kKindPanel3950Raw;
    default:
      return false;
  }
}

bool FileIsSpeciallyProtected(JobState& state, const std::string& path) {
  state.Log("FileIsSpeciallyProtected");
  for (const char* part : {"NK.", "BPANEL.INI", ".HV", ".MKY", "\\PUBLIC\\", "\\WD\\"}) {
    if (Contains(path, part)) return true;
  }
  // Such a package on a 3950 panel without its own OS image keeps everything on the card.
  return state.IsTenZeroPackage() && state.targetType == kTargetPanel3950 && state.osInPackage == 0;
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
