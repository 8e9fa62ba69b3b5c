#include "verify/verify.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/cleaning.h"
#include "card/card_inspection.h"
#include "job/job_io.h"
#include "job/job_values.h"
#include "package/file_table.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "verify/bhelper.h"
#include "verify/crc_list.h"
#include "verify/file_rules.h"
#include "verify/package_check.h"

namespace cw {
namespace {

constexpr uint32_t kChunk = 1u << 20;

bool Opens(const std::string& path, OpenMode mode) {
  std::unique_ptr<File> file = Sys().OpenFile(path, mode);
  if (!file) return false;
  file->Close();
  return true;
}

// True when the whole file opens and reads. GetFileCRC gives 0 for a file it cannot open or
// read, which is also the CRC of an empty file; this tells the two apart.
bool ReadsWhole(const std::string& path) {
  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::Read);
  uint64_t size = 0;
  if (!file || !file->GetSize(&size)) return false;
  std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(size, kChunk)));
  for (uint64_t left = size; left > 0;) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(left, kChunk));
    uint32_t got = 0;
    if (!file->Read(buffer.data(), want, &got) || got == 0) return false;
    left -= std::min<uint64_t>(got, left);
  }
  file->Close();
  return true;
}

// The card file matches its recorded CRC; the check goes into the job's record. A file that is
// missing or cannot be read never matches, not even a record whose CRC is 0 (the CRC of an
// empty file).
bool MatchesCRC(const std::string& path, uint32_t recordedCrc) {
  const uint32_t crc = CBHelper::GetFileCRC(path);
  const bool readable = crc != 0 || ReadsWhole(path);
  const bool matched = readable && crc == recordedCrc;
  RecordFileCheck({.path = path,
                   .expected = recordedCrc,
                   .actual = readable ? std::optional<uint32_t>(crc) : std::nullopt,
                   .matched = matched});
  return matched;
}

// A package copy on the card checks itself; the check goes into the job's record.
bool PackageCopyPasses(const std::string& path, File* file) {
  PackageCrcs crcs;
  const bool passed = file != nullptr && VerifyFWPFile(*file, &crcs);
  RecordFileCheck({.packageCopy = true,
                   .path = path,
                   .expected = crcs.stored,
                   .actual = crcs.computed,
                   .matched = passed});
  return passed;
}

class Verification {
 public:
  int Run();

 private:
  void Pass() { ++verified_; }
  void Fail(const std::string& path) {
    failures_ += "\r\n" + path;
    allPassed_ = false;
  }
  void ShowCount() { SetStatus(Format("%d Files verified", verified_)); }
  void CheckRecord(const FILE_INFO_STRUCT& record);
  void CheckStoredPackage(const std::string& path);
  void CheckOtherPackage(const std::string& path);
  int CheckPanel();
  int PanelFailure(const std::string& message);

  int32_t verified_ = 0;
  bool allPassed_ = true;
  std::string failures_ = "\r\nThe following files did not pass the CRC test:";
  bool zlibSeen_ = false;
  bool storing_ = currentJob != nullptr && currentJob->storeInProgress != 0;
};

void Verification::CheckRecord(const FILE_INFO_STRUCT& record) {
  if (!FileIsRelevant(record)) return;
  const std::string cardPath = FieldText(record.cardPath);
  // On an Engine card the stored-as-is common files live in the card root.
  std::string path =
      globalFlashPath + "\\" +
      (record.kind == kKindCommonRaw && targetType == kTargetEngine ? GetFilenameNoPath(cardPath)
                                                                    : cardPath);
  ShowCount();
  FixFileStatus(path);
  path = ToUpperAscii(path);

  if (targetType == kTargetEngine) {
    if (Contains(path, "ZLIBCE.DLL")) {
      // The Engine keeps one ZLIBCE.DLL, in its root, whatever folder a record names.
      if (zlibSeen_) return;
      zlibSeen_ = true;
      path = globalFlashPath + "\\ZLIBCE.DLL";
    }
  } else if (!storing_ && record.kind == kKindCommonRaw && !Opens(path, OpenMode::Read)) {
    // A panel may lack these files when it was programmed by other means: not a failure.
    return;
  }

  if (MatchesCRC(path, record.fileCrc))
    Pass();
  else
    Fail(path);
}

void Verification::CheckStoredPackage(const std::string& path) {
  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::ReadWrite);
  if (PackageCopyPasses(path, file.get())) {
    Pass();
    ShowCount();
  } else {
    Fail(path);
  }
}

void Verification::CheckOtherPackage(const std::string& path) {
  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::ReadWrite);
  if (!file) {
    if (storing_ && targetType != kTargetEngine) Fail(path);
    return;
  }
  if (PackageCopyPasses(path, file.get())) {
    Pass();
    ShowCount();
  } else {
    Fail(path);
  }
}

int Verification::PanelFailure(const std::string& message) {
  ShowAndRecord(message, MessageIcon::Exclamation);
  return storing_ ? kVerifyFailedRestore : kVerifyFailedNoRestore;
}

int Verification::CheckPanel() {
  if (storing_ && !VerifyCRCFile()) {
    ShowAndRecord("CRC File verification failed.\r\nAttempting to restore previous files.\r\n",
                  MessageIcon::Exclamation);
    return kVerifyFailedRestore;
  }
  if (osInPackage != 0) return kVerifyPassed;

  // The package did not replace the OS image, so the card's own must still be intact.
  std::unique_ptr<File> list = Sys().OpenFile(CRCListPathFor(targetType), OpenMode::Read);
  if (!list) return PanelFailure("Stored CRC file could not be opened.\r\n");
  const OSImageEntry entry = FindOSImageCRC(*list);
  list->Close();
  if (entry.outcome == OSImageSearch::kEmptyList)
    return PanelFailure("CRC File verification failed.\r\nPossible 3940/3950 mismatch.");
  if (entry.outcome == OSImageSearch::kNotFound)
    return PanelFailure("Stored WinCE CRC could not be found\r\n.");
  if (!MatchesCRC(globalFlashPath + "\\" + entry.path, entry.crc)) {
    return PanelFailure(
        "WinCE OS file on flash failed CRC test.\r\nAttempting to restore previous files\r\n");
  }
  return kVerifyPassed;
}

int Verification::Run() {
  const int32_t total = static_cast<int32_t>(fileTable.size());
  SetProgressRange(0, total);
  StartPhaseAmounts(kProgressVerification, total, FileTableBytes());
  for (int32_t i = 0; i < total; ++i) {
    StopIfRequested();
    CBHelper::BuildCRCTable();
    SetProgressPos(i);
    const FILE_INFO_STRUCT& record = fileTable[static_cast<size_t>(i)];
    CheckRecord(record);
    CountFileDone(record.fileSize > 0 ? static_cast<uint64_t>(record.fileSize) : 0);
  }

  if (targetType == kTargetEngine) {
    CheckStoredPackage(globalFlashPath + "\\UPGRADE.FWP");
    if (has3950Support) CheckStoredPackage(globalFlashPath + "\\FWP_3950.FWP");
  }
  if (currentJob != nullptr && currentJob->usePackageFile == 0) {
    for (const std::string& path : otherPackageFiles) CheckOtherPackage(path);
  }

  if (!allPassed_) {
    if (storing_) {
      failures_ += "\r\nStorage failed.\r\nAttempting to restore previous files.";
      ShowAndRecord(failures_, MessageIcon::Exclamation);
      return kVerifyFailedRestore;
    }
    ShowAndRecord(failures_, MessageIcon::Exclamation);
    SetStatus("Verify FAILED!!");
    return kVerifyFailedNoRestore;
  }

  if (targetType != kTargetEngine) {
    const int panel = CheckPanel();
    if (panel != kVerifyPassed) return panel;
  }

  SetStatus(Format("%d Files verified at ", verified_) + globalFlashPath);
  if (!storing_) {
    SetStatus("Done!");
    Wait(1000);
  }
  return kVerifyPassed;
}

}  // namespace

int Verify() {
  Log("Verify");
  return Verification().Run();
}

}  // namespace cw
