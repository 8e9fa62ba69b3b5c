#include "verify/verify.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/cleaning.h"
#include "card/card_inspection.h"
#include "log/log_to_file.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "package/file_table.h"
#include "package/loaded_package.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/bhelper.h"
#include "verify/crc_list.h"
#include "rules/file_rules.h"
#include "package/package_check.h"
#include "package/package_parser.h"
#include "package/stored_package_record.h"

namespace cw {
namespace {

constexpr uint32_t kChunk = 1u << 20;

bool Opens(Platform& platform, const std::string& path, OpenMode mode) {
  std::unique_ptr<File> file = platform.OpenFile(path, mode);
  if (!file) return false;
  file->Close();
  return true;
}

// True when the whole file opens and reads. GetFileCRC gives 0 for a file it cannot open or
// read, which is also the CRC of an empty file; this tells the two apart.
bool ReadsWhole(Platform& platform, const std::string& path) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
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

// The card file matches its recorded CRC; the check goes into `files`. A file that is
// missing or cannot be read never matches, not even a record whose CRC is 0 (the CRC of an
// empty file).
bool MatchesCRC(JobState& state, std::vector<FileCheck>& files, const std::string& path,
                uint32_t recordedCrc) {
  const uint32_t crc = CBHelper::GetFileCRC(state.platform, state, path);
  const bool readable = crc != 0 || ReadsWhole(state.platform, path);
  const bool matched = readable && crc == recordedCrc;
  files.push_back(
      state.RecordFileCheck({.path = path,
                             .expected = recordedCrc,
                             .actual = readable ? std::optional<uint32_t>(crc) : std::nullopt,
                             .matched = matched}));
  return matched;
}

// A package copy on the card checks itself; the check goes into `files`. A stored copy
// checked against the package it should have been made from (`madeFrom`) must also hold that
// package's records: an intact copy of another release does not pass.
bool PackageCopyPasses(JobState& state, std::vector<FileCheck>& files,
                       const LoadedPackage& package, const std::string& path, File* file,
                       std::optional<StoredCopy> madeFrom = std::nullopt) {
  PackageCrcs crcs;
  Bytes whole;
  bool passed = file != nullptr && VerifyFWPFile(state, *file, &crcs, madeFrom ? &whole : nullptr);
  if (passed && madeFrom) {
    // A copy that keeps no CRC-32 was not read by its check.
    if (whole.empty() && !ReadWholeFile(*file, kMaxPackageBytes, &whole)) passed = false;
    if (passed && !StoredCopyMadeFrom(whole, package.fileTable, *madeFrom)) {
      state.Log("  the stored copy was not made from this package: " + path);
      passed = false;
    }
  }
  files.push_back(state.RecordFileCheck({.packageCopy = true,
                                         .path = path,
                                         .expected = crcs.stored,
                                         .actual = crcs.computed,
                                         .matched = passed}));
  return passed;
}

class Verification {
 public:
  Verification(JobState& job, const CardFacts& card, const LoadedPackage& package,
               Reference reference)
      : state(job), card(card), package(package), reference(reference) {}
  VerifyDecision Run();
  // The checks made so far.
  std::vector<FileCheck>& Files() { return files_; }

 private:
  void Pass() { ++verified_; }
  void Fail(const std::string& path) {
    failures_ += "\r\n" + path;
    allPassed_ = false;
  }
  void ShowCount() { state.SetStatus(Format("%d Files verified", verified_)); }
  std::string NameOnly(const std::string& cardPath);
  void CheckRecord(const FILE_INFO_STRUCT& record);
  void CheckStoredPackage(const std::string& path, StoredCopy part);
  void CheckOtherPackage(const std::string& path);
  VerifyDecision CheckPanel();
  VerifyDecision PanelFailure(const std::string& message);

  JobState& state;
  const CardFacts& card;
  const LoadedPackage& package;
  std::vector<FileCheck> files_;
  int32_t verified_ = 0;
  bool allPassed_ = true;
  std::string failures_ = "\r\nThe following files did not pass the CRC test:";
  bool zlibSeen_ = false;
  Reference reference;
  bool storing_ = reference == Reference::kStoring;
};

std::string Verification::NameOnly(const std::string& cardPath) {
  state.Log("GetFilenameNoPath");
  return GetFilenameNoPath(cardPath);
}

void Verification::CheckRecord(const FILE_INFO_STRUCT& record) {
  if (!FileIsRelevant(state, state.targetType, record)) return;
  const std::string cardPath = FieldText(record.cardPath);
  // On an Engine card the stored-as-is common files live in the card root.
  std::string path = state.globalFlashPath + "\\" +
                     (record.kind == kKindCommonRaw && state.targetType == kTargetEngine
                          ? NameOnly(cardPath)
                          : cardPath);
  ShowCount();
  // A status check that passed has opened the file for reading.
  const bool opened = FixFileStatus(state.platform, state, path);
  path = ToUpperAscii(path);

  if (state.targetType == kTargetEngine) {
    if (Contains(path, "ZLIBCE.DLL")) {
      // The Engine keeps one ZLIBCE.DLL, in its root, whatever folder a record names.
      if (zlibSeen_) return;
      zlibSeen_ = true;
      path = state.globalFlashPath + "\\ZLIBCE.DLL";
    }
  } else if (!storing_ && record.kind == kKindCommonRaw && !opened &&
             !Opens(state.platform, path, OpenMode::Read)) {
    // A panel may lack these files when it was programmed by other means: not a failure.
    return;
  }

  if (MatchesCRC(state, files_, path, record.fileCrc))
    Pass();
  else
    Fail(path);
}

void Verification::CheckStoredPackage(const std::string& path, StoredCopy part) {
  std::unique_ptr<File> file = state.platform.OpenFile(path, OpenMode::ReadWrite);
  // Against a package (a store, or a verify given one) the copies must be that package's; the
  // card's own copy is its own reference.
  const bool againstPackage = reference != Reference::kCard;
  if (PackageCopyPasses(state, files_, package, path, file.get(),
                        againstPackage ? std::optional<StoredCopy>(part) : std::nullopt)) {
    Pass();
    ShowCount();
  } else {
    Fail(path);
  }
}

void Verification::CheckOtherPackage(const std::string& path) {
  std::unique_ptr<File> file = state.platform.OpenFile(path, OpenMode::ReadWrite);
  // One that does not open is skipped: only a verification against the card's own reference
  // looks at these.
  if (!file) return;
  if (PackageCopyPasses(state, files_, package, path, file.get())) {
    Pass();
    ShowCount();
  } else {
    Fail(path);
  }
}

VerifyDecision Verification::PanelFailure(const std::string& message) {
  state.ShowAndRecord(message, MessageIcon::Exclamation);
  return storing_ ? VerifyDecision::kFailedRestore : VerifyDecision::kFailedNoRestore;
}

VerifyDecision Verification::CheckPanel() {
  if (storing_ && !VerifyCRCFile(state, package.fileTable)) {
    state.ShowAndRecord(
        "CRC File verification failed.\r\nAttempting to restore previous files.\r\n",
        MessageIcon::Exclamation);
    return VerifyDecision::kFailedRestore;
  }
  if (package.osInPackage != 0) return VerifyDecision::kPassed;

  // The package did not replace the OS image, so the card's own must still be intact.
  std::unique_ptr<File> list =
      state.platform.OpenFile(CRCListPathFor(state, state.targetType), OpenMode::Read);
  if (!list) return PanelFailure("Stored CRC file could not be opened.\r\n");
  const OSImageEntry entry = FindOSImageCRC(*list);
  list->Close();
  if (entry.outcome == OSImageSearch::kEmptyList)
    return PanelFailure("CRC File verification failed.\r\nPossible 3940/3950 mismatch.");
  if (entry.outcome == OSImageSearch::kNotFound)
    return PanelFailure("Stored WinCE CRC could not be found\r\n.");
  if (!MatchesCRC(state, files_, state.globalFlashPath + "\\" + entry.path, entry.crc)) {
    return PanelFailure(
        "WinCE OS file on flash failed CRC test.\r\nAttempting to restore previous files\r\n");
  }
  return VerifyDecision::kPassed;
}

VerifyDecision Verification::Run() {
  const int32_t total = static_cast<int32_t>(package.fileTable.size());
  state.SetProgressRange(0, total);
  state.StartPhaseAmounts(kProgressVerification, total, FileTableBytes(package.fileTable));
  for (int32_t i = 0; i < total; ++i) {
    // A file's lines reach the log together, before the next file's check begins.
    LogBatch fileLines(state.job.log);
    state.StopIfRequested();
    CBHelper::BuildCRCTable();
    state.SetProgressPos(i);
    const FILE_INFO_STRUCT& record = package.fileTable[static_cast<size_t>(i)];
    CheckRecord(record);
    state.CountFileDone(record.fileSize > 0 ? static_cast<uint64_t>(record.fileSize) : 0);
  }

  if (state.targetType == kTargetEngine) {
    CheckStoredPackage(state.globalFlashPath + "\\UPGRADE.FWP",
                       package.has3950Support ? StoredCopy::kHalf3940 : StoredCopy::kWhole);
    if (package.has3950Support)
      CheckStoredPackage(state.globalFlashPath + "\\FWP_3950.FWP", StoredCopy::kHalf3950);
  }
  if (reference == Reference::kCard) {
    for (const std::string& path : card.otherPackageFiles) CheckOtherPackage(path);
  }

  if (!allPassed_) {
    if (storing_) {
      failures_ += "\r\nStorage failed.\r\nAttempting to restore previous files.";
      state.ShowAndRecord(failures_, MessageIcon::Exclamation);
      return VerifyDecision::kFailedRestore;
    }
    state.ShowAndRecord(failures_, MessageIcon::Exclamation);
    state.SetStatus("Verify FAILED!!");
    return VerifyDecision::kFailedNoRestore;
  }

  if (state.targetType != kTargetEngine) {
    const VerifyDecision panel = CheckPanel();
    if (panel != VerifyDecision::kPassed) return panel;
  }

  state.SetStatus(Format("%d Files verified at ", verified_) + state.globalFlashPath);
  return VerifyDecision::kPassed;
}

}  // namespace

VerifyReport Verify(JobState& state, const CardFacts& card, const LoadedPackage& package,
                    Reference reference) {
  state.Log("Verify");
  Verification verification(state, card, package, reference);
  VerifyReport report;
  try {
    report.decision = verification.Run();
  } catch (...) {
    std::vector<FileCheck>& made = verification.Files();
    state.fileChecks.insert(state.fileChecks.end(), made.begin(), made.end());
    throw;
  }
  report.files = std::move(verification.Files());
  return report;
}

}  // namespace cw
