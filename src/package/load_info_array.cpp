#include "package/load_info_array.h"

#include "card/file_utils.h"
#include "card/wd_crc_list.h"
#include "job/job_io.h"
#include "job/job_values.h"
#include "package/byte_reader.h"
#include "package/file_table.h"
#include "package/package_parser.h"
#include "platform/text.h"
#include "verify/crc_list.h"
#include "verify/file_rules.h"
#include "verify/package_check.h"

namespace cw {
namespace {

// A package is addressed by signed 32-bit offsets, so it is never larger than this.
constexpr uint64_t kMaxPackageBytes = 0x7FFFFFFF;

void Refuse(const std::string& message) { ShowAndRecord(message, MessageIcon::Exclamation); }

// Closes packageFile on every way out of the package read.
struct PackageFileCloser {
  ~PackageFileCloser() {
    if (packageFile) packageFile->Close();
    packageFile.reset();
  }
};

// An Engine card checked without a package: its stored copy, the 3950 one when there is one.
bool ChooseStoredCopy() {
  std::string engineCopy, copy3950;
  std::vector<FindEntry> matches;
  Sys().FindFiles(globalFlashPath + "\\*.FWP", &matches);
  for (const FindEntry& match : matches) {
    if (match.IsDirectory()) continue;
    const std::string path = ToUpperAscii(globalFlashPath + "\\" + match.name);
    if (Contains(path, "UPGRADE")) engineCopy = path;
    if (Contains(path, "FWP_3950")) {
      copy3950 = path;
      has3950Support = 1;
    }
  }
  if (!Contains(engineCopy, ".FWP")) {
    Refuse("Stored FWP file not found on flash.");
    return false;
  }
  globalFWPDataFilePath = has3950Support ? copy3950 : engineCopy;
  return true;
}

// The target filter for one record; may turn a 3940 BOOT.BMP into a 3950 file.
bool TakeRecord(FILE_INFO_STRUCT& record, const std::string& checkName, bool storing) {
  if (!storing && FileIsCRCExempt(checkName)) return false;
  const int32_t kind = record.kind;
  bool otherModel;
  switch (targetType) {
    case kTargetEngine: otherModel = false; break;
    case kTargetPanel3940: otherModel = kind == kKindPanel3950 || kind == kKindPanel3950Raw; break;
    case kTargetPanel3950: otherModel = kind == kKindPanel3940 || kind == kKindPanel3940Raw; break;
    default: otherModel = true; break;
  }
  if (!otherModel) return true;
  if (IsTenZeroPackage() && targetType == kTargetPanel3950 && osInPackage == 0 &&
      Contains(checkName, "BOOT.BMP")) {
    record.kind = kKindPanel3950;
    return true;
  }
  return false;
}

// The unpacked sizes of the target panel's files, for the store job's space check.
bool CountsTowardPackageBytes(int32_t kind, const std::string& checkName) {
  if (IsTenZeroPackage() || Contains(checkName, "NK.")) return false;
  if (targetType == kTargetPanel3940) {
    return kind == kKindPanel3940 || kind == kKindPanel3940Raw || kind == kKindCommonRaw;
  }
  if (targetType == kTargetPanel3950) {
    return kind == kKindPanel3950 || kind == kKindPanel3950Raw || kind == kKindCommonRaw;
  }
  return false;
}

bool LoadFromPackage(bool storing) {
  if (!CFileUtils().FileExists(globalFWPDataFilePath)) {
    Refuse("FWP file not found!\r\n");
    return false;
  }
  PackageFileCloser closer;
  packageFile = Sys().OpenFile(globalFWPDataFilePath, OpenMode::Read);
  if (!packageFile) {
    Refuse("FWP file not writable!\r\n");
    return false;
  }
  // The check reads the whole package; its bytes serve the table too (hundreds of MiB are
  // not read twice). A package with no checksum is read here.
  Bytes bytes;
  if (!VerifyFWPFile(*packageFile, &bytes)) {
    Refuse("FWP file failed CRC test!\r\n");
    return false;
  }
  if (bytes.size() > kMaxPackageBytes ||
      (bytes.empty() && !ReadWholeFile(*packageFile, kMaxPackageBytes, &bytes))) {
    Refuse("FWP file could not be read!\r\n");
    return false;
  }

  PackageHeader header;
  std::string message;
  const bool headerOk = ParsePackageHeader(bytes.data(), bytes.size(), &header, &message);
  if (header.prefixRead) {
    int32_t* const words[6] = {&headerWord1, &headerWord2, &headerWord3,
                               &headerWord4, &headerWord5, &headerWord6};
    for (int i = 0; i < 6; ++i) *words[i] = header.headerWords[i];
    releaseNumber = header.releaseNumber;
  }
  if (header.winceRead) osInPackage = header.winceIncluded;
  if (header.has3950Support) has3950Support = 1;
  if (!headerOk) {
    Refuse(message);
    return false;
  }

  // Every record is checked before any is taken: a damaged or hostile package is refused whole.
  for (int32_t i = 0; i < header.fileCount; ++i) {
    message = CheckPackageRecord(PackageRecord(bytes.data(), header, i), bytes.size());
    if (!message.empty()) {
      Refuse(message);
      return false;
    }
  }
  for (int32_t i = 0; i < header.fileCount; ++i) {
    FILE_INFO_STRUCT record = PackageRecord(bytes.data(), header, i);
    const std::string checkName = ToUpperAscii(FieldText(record.checkPath));
    if (!TakeRecord(record, checkName, storing)) continue;
    fileTable.push_back(record);
    if (CountsTowardPackageBytes(record.kind, checkName)) {
      packageBytes += static_cast<uint64_t>(static_cast<int64_t>(record.fileSize));
    }
  }
  return true;
}

}  // namespace

bool LoadInfoArray() {
  Log("LoadInfoArray");
  const bool storing = currentJob->storeInProgress != 0;
  const bool usePackage = currentJob->usePackageFile != 0;
  if (!storing && targetType == kTargetEngine && !usePackage && !ChooseStoredCopy()) return false;

  fileTable.clear();
  if (storing || usePackage || targetType == kTargetEngine) {
    if (!LoadFromPackage(storing)) return false;
  } else if (!LoadArrayFromCRCFile(CRCListPathFor(targetType))) {
    return false;
  }

  if (!storing && CheckIfWD() && !LoadArrayFromCRCFile(secondCRCListPath)) return false;
  return true;
}

}  // namespace cw
