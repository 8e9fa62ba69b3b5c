#include "job/load_info_array.h"

#include <memory>
#include <optional>

#include "card/file_utils.h"
#include "card/wd_crc_list.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "package/byte_reader.h"
#include "package/file_table.h"
#include "package/package_parser.h"
#include "package/version_block.h"
#include "platform/text.h"
#include "verify/crc_list.h"
#include "rules/file_rules.h"
#include "package/package_check.h"
#include "package/extraction.h"
#include "package/stored_package_record.h"

namespace cw {
namespace {

void Refuse(JobState& state, const std::string& message) {
  state.ShowAndRecord(message, MessageIcon::Exclamation);
}

// An Engine card checked without a package: the path of its stored copy, the 3950 one when
// there is one.
std::optional<std::string> ChooseStoredCopy(JobState& state, LoadedPackage& package) {
  std::string engineCopy, copy3950;
  std::vector<FindEntry> matches;
  state.platform.FindFiles(state.globalFlashPath + "\\*.FWP", &matches);
  for (const FindEntry& match : matches) {
    if (match.IsDirectory()) continue;
    const std::string path = ToUpperAscii(state.globalFlashPath + "\\" + match.name);
    if (Contains(path, "UPGRADE")) engineCopy = path;
    if (Contains(path, "FWP_3950")) {
      copy3950 = path;
      package.has3950Support = 1;
    }
  }
  if (!Contains(engineCopy, ".FWP")) {
    Refuse(state, "Stored FWP file not found on flash.");
    return std::nullopt;
  }
  return package.has3950Support ? copy3950 : engineCopy;
}

// The target filter for one record; may turn a 3940 BOOT.BMP into a 3950 file.
bool TakeRecord(JobState& state, const LoadedPackage& package, FILE_INFO_STRUCT& record,
                const std::string& checkName, bool storing) {
  if (!storing && FileIsCRCExempt(checkName)) return false;
  const int32_t kind = record.kind;
  bool otherModel;
  switch (state.targetType) {
    case kTargetEngine: otherModel = false; break;
    case kTargetPanel3940: otherModel = kind == kKindPanel3950 || kind == kKindPanel3950Raw; break;
    case kTargetPanel3950: otherModel = kind == kKindPanel3940 || kind == kKindPanel3940Raw; break;
    default: otherModel = true; break;
  }
  if (!otherModel) return true;
  if (package.KeepsWholeCard(state.targetType) && Contains(checkName, "BOOT.BMP")) {
    record.kind = kKindPanel3950;
    return true;
  }
  return false;
}

// The unpacked sizes of the target panel's files, for the store job's space check.
bool CountsTowardPackageBytes(JobState& state, const LoadedPackage& package, int32_t kind,
                              const std::string& checkName) {
  if (package.IsTenZeroPackage() || Contains(checkName, "NK.")) return false;
  if (state.targetType == kTargetPanel3940) {
    return kind == kKindPanel3940 || kind == kKindPanel3940Raw || kind == kKindCommonRaw;
  }
  if (state.targetType == kTargetPanel3950) {
    return kind == kKindPanel3950 || kind == kKindPanel3950Raw || kind == kKindCommonRaw;
  }
  return false;
}

// Opens the package and reads it whole through its check (nullopt when it does not open); the
// file is closed on every way out.
std::optional<PackageLoad> ReadPackageFile(JobState& state, const std::string& path,
                                           Bytes* bytes) {
  std::unique_ptr<File> packageFile = state.platform.OpenFile(path, OpenMode::Read);
  if (!packageFile) return std::nullopt;
  struct Closer {
    File& file;
    ~Closer() { file.Close(); }
  } closer{*packageFile};
  return ReadCheckedPackage(state, *packageFile, kMaxPackageBytes, bytes);
}

bool LoadFromPackage(JobState& state, LoadedPackage& package, const std::string& path,
                     bool storing) {
  if (!CFileUtils(state.platform).FileExists(path)) {
    Refuse(state, "FWP file not found!\r\n");
    return false;
  }
  // One read of the whole package serves its check and its table, and for a store the
  // extraction and the stored copies too.
  Bytes bytes;
  const std::optional<PackageLoad> load = ReadPackageFile(state, path, &bytes);
  if (!load) {
    Refuse(state, "FWP file not writable!\r\n");
    return false;
  }
  switch (*load) {
    case PackageLoad::kPassed: break;
    case PackageLoad::kFailedCheck:
      Refuse(state, "FWP file failed CRC test!\r\n");
      return false;
    case PackageLoad::kUnreadable:
      Refuse(state, "FWP file could not be read!\r\n");
      return false;
    case PackageLoad::kTooLarge:
      Refuse(state, kPackageTooLargeText);
      return false;
  }

  PackageHeader header;
  std::string message;
  const bool headerOk = ParsePackageHeader(bytes.data(), bytes.size(), &header, &message);
  if (header.prefixRead) {
    for (size_t i = 0; i < package.headerWords.size(); ++i)
      package.headerWords[i] = header.headerWords[i];
    package.releaseNumber = header.releaseNumber;
  }
  if (header.winceRead) package.osInPackage = header.winceIncluded;
  package.versions = VersionsOf(ParseVersionBlock(bytes));
  if (header.has3950Support) package.has3950Support = 1;
  if (!headerOk) {
    Refuse(state, message);
    return false;
  }

  // Every record is checked before any is taken: a damaged or hostile package is refused whole.
  for (int32_t i = 0; i < header.fileCount; ++i) {
    message = CheckPackageRecord(PackageRecord(bytes.data(), header, i), bytes.size());
    if (!message.empty()) {
      Refuse(state, message);
      return false;
    }
  }
  for (int32_t i = 0; i < header.fileCount; ++i) {
    FILE_INFO_STRUCT record = PackageRecord(bytes.data(), header, i);
    const std::string checkName = ToUpperAscii(FieldText(record.checkPath));
    if (!TakeRecord(state, package, record, checkName, storing)) continue;
    package.fileTable.push_back(record);
    if (CountsTowardPackageBytes(state, package, record.kind, checkName)) {
      package.packageBytes += static_cast<uint64_t>(static_cast<int64_t>(record.fileSize));
    }
  }
  if (storing) {
    package.packageData = std::move(bytes);
    // Every buffer the store needs while the card changes is had now, or the store refuses.
    if (!ReserveExtraction(state, package)) {
      ReleasePackageBytes(package);
      Refuse(state, kPackageTooLargeText);
      return false;
    }
  }
  return true;
}

}  // namespace

bool LoadInfoArray(JobState& state, LoadedPackage& package, Reference reference,
                   const std::string& packagePath) {
  state.Log("LoadInfoArray");
  const bool storing = reference == Reference::kStoring;
  const bool usePackage = reference != Reference::kCard;
  std::string path = packagePath;
  if (!usePackage && state.targetType == kTargetEngine) {
    std::optional<std::string> copy = ChooseStoredCopy(state, package);
    if (!copy) return false;
    path = std::move(*copy);
  }

  package.fileTable.clear();
  package.packageData = Bytes();  // the bytes of the table it replaces
  if (usePackage || state.targetType == kTargetEngine) {
    if (!LoadFromPackage(state, package, path, storing)) return false;
  } else if (!LoadArrayFromCRCFile(state, CRCListPathFor(state, state.targetType),
                                   package.fileTable)) {
    return false;
  }
  if (storing) return true;

  const std::optional<std::string> secondList =
      CheckIfWD(state.platform, state, state.globalFlashPath);
  return !secondList || LoadArrayFromCRCFile(state, *secondList, package.fileTable);
}

}  // namespace cw
