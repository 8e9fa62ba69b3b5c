// "Store and Verify" after the checks: the backup, the package's files onto the card (stage
// 11), the Engine card's stored package copy and version file (stages 12 and 13), and the
// Panel card's release number file (stage 15). A failure from here on puts the backup back.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "backup/backup_history.h"
#include "card/file_status.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/job_result.h"
#include "job/job_stop.h"
#include "job/store_job.h"
#include "package/extraction.h"
#include "package/stored_package_record.h"
#include "job/stored_packages.h"
#include "platform/platform.h"

namespace cw {

namespace {

// Writes `bytes` to a new (or truncated) file, then opens it again as proof that it is there.
// Every step counts: a short write must not pass for a placed file. A protected file already
// there (no backup step cleared it) is cleared first: Windows would refuse to replace it.
enum class PlaceResult { Placed, NotCreated, NotWritten };

PlaceResult PlaceSmallFile(JobState& state, const std::string& path,
                           const std::vector<uint8_t>& bytes, const char* writtenLine) {
  ClearProtectionBeforeWrite(state.platform, state, path);
  std::unique_ptr<File> file = state.platform.OpenFile(path, OpenMode::CreateAlways);
  if (!file) return PlaceResult::NotCreated;
  const bool written = file->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  const bool closed = file->Close();
  if (writtenLine != nullptr && written && closed) state.Log(writtenLine);
  if (!written || !closed) return PlaceResult::NotWritten;
  std::unique_ptr<File> check = state.platform.OpenFile(path, OpenMode::Read);
  if (!check) return PlaceResult::NotWritten;
  check->Close();
  return PlaceResult::Placed;
}

void PutInt32(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
  const uint32_t u = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(u >> (8 * i));
}

// "FWPVers.bin": the package's version block; the generator values only from format 1.008.
std::vector<uint8_t> VersionFileBytes(const PackageVersions& versions) {
  std::vector<uint8_t> bytes(24, 0);
  const VersionBlock& v = versions.versionBlock;
  PutInt32(bytes, 0, v.formatVersion);
  PutInt32(bytes, 4, v.formatRevision);
  bytes[8] = static_cast<uint8_t>(v.formatLetter);
  if (versions.fwpVersion >= 1008) {
    PutInt32(bytes, 12, v.generatorVersion);
    PutInt32(bytes, 16, v.generatorRevision);
    bytes[20] = static_cast<uint8_t>(v.generatorLetter);
  }
  return bytes;
}

void FailStore(JobState& state, const std::string& message) {
  state.ShowAndRecord(message, MessageIcon::Warning);
  FailStep(state, JobPhase::kStore);
}

// Stage 12 without 3950 support: the package itself becomes "UPGRADE.FWP". False when it could
// not be placed.
bool CopyPackageToCard(JobState& state, LoadedPackage& package) {
  const std::string status = Format("%d Files stored", state.filesStored);
  state.SetStatus(status);
  state.Log("  " + status);

  const std::string targetPath = state.globalFlashPath + "\\UPGRADE.FWP";
  ClearProtectionBeforeWrite(state.platform, state, targetPath);
  std::unique_ptr<File> target = state.platform.OpenFile(targetPath, OpenMode::CreateAlways);
  if (!target) {
    state.ShowMessage("Could not open target FWP file\r\n" + targetPath, MessageButtons::Ok,
                      MessageIcon::Warning);
    state.AppendDiagnostics("Could not open target FWP file\r\n" + targetPath);
    state.AppendDiagnostics("\r\n");
    FailStep(state, JobPhase::kStore);
    state.LogF("Could not open target FWP file %s", targetPath.c_str());
    return false;
  }
  if (!HoldPackageBytes(state.platform, state.globalFWPDataFilePath, package)) {
    const std::string message =
        "Could not open source FWP file\r\n" + state.platform.DisplayPath(state.globalFWPDataFilePath);
    state.Log(message);
    state.ShowMessage(message, MessageButtons::Ok, MessageIcon::Warning);
    state.AppendDiagnostics(message);
    state.AppendDiagnostics("\r\n");
    FailStep(state, JobPhase::kStore);
    return false;
  }

  state.Log("  Starting write operation.");
  // The package in one piece, from the bytes its load checked.
  const std::vector<uint8_t>& bytes = package.packageData;
  bool ok = bytes.size() <= 0xFFFFFFFFull && target->Seek(0, SeekFrom::Begin) &&
            target->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ok = target->Close() && ok;
  if (!ok) {
    // A stored copy that is not the package would fail every later check of this card.
    const std::string message = "Could not write target FWP file\r\n" + targetPath;
    state.Log(message);
    FailStore(state, message + "\r\n");
    return false;
  }
  state.Log("  operation complete.");
  return true;
}

// Stage 13: "FWPVers.bin" in the Engine card's root, from the stored package's own values.
// False when it could not be placed.
bool PlaceVersionFile(JobState& state, const PackageVersions& versions) {
  EnterStage(state, 13);
  const std::string path = state.globalFlashPath + "\\FWPVers.bin";
  state.LogF("  saving FWP version info to %s", path.c_str());
  const char* message = "Failed to place FWP Version file on flash\r\n";
  switch (PlaceSmallFile(state, path, VersionFileBytes(versions), "    wrote the data.")) {
    case PlaceResult::Placed:
      return true;
    case PlaceResult::NotCreated:
      state.Log("    failed to open.");
      break;
    case PlaceResult::NotWritten:
      state.Log("    failed to write the version information.");
      break;
  }
  FailStore(state, message);
  return false;
}

// Stage 15: "\Brevant\ReleaseNumber" on a Panel card. False when it could not be placed.
bool PlaceReleaseNumber(JobState& state, const LoadedPackage& package) {
  state.Log("    writing release number to panel flash.");
  const std::string path = state.globalFlashPath + "\\Brevant\\ReleaseNumber";
  std::vector<uint8_t> bytes(4, 0);
  PutInt32(bytes, 0, package.releaseNumber);
  const PlaceResult result = PlaceSmallFile(state, path, bytes, nullptr);
  if (result == PlaceResult::Placed) return true;
  if (result == PlaceResult::NotCreated) state.Log("    failed to open " + path);
  const std::string message = "Failed to place Release file on flash";
  state.AppendDiagnostics(message);
  state.ShowMessage(message, MessageButtons::Ok, MessageIcon::Warning);
  FailStep(state, JobPhase::kStore);
  return false;
}

}  // namespace

int RestoreExit(JobState& state, const StoreRequest& request, CardFacts& card,
                LoadedPackage& package) {
  RunRestore(state, request, card, package);
  return EndJob(state.job, 0);
}

std::optional<int> BackupAndProgram(JobState& state, const StoreRequest& request, CardFacts& card,
                                    LoadedPackage& package) {
  JobContext& job = state.job;
  const bool panel = state.targetType != kTargetEngine;
  state.LogF("  proceeding to program the flash.  Backup?  %s", state.backupSkipped ? "No" : "Yes");
  if (!state.backupSkipped) {
    state.Log("  backing up files.");
    if (panel) job.cardMayHaveChanged = 1;  // the card is cleaned once its backup is whole
    if (!BackupFiles(state, card, package, panel,
                     BackupsKept(state.platform, request.backup.kept, request.dataPath))) {
      // Nothing of the card was removed or overwritten: there is nothing to restore, and a
      // restore from any other backup could only put foreign files on it.
      state.Log("  File Backup Failed. Process aborted.");
      state.ShowAndRecord("File Backup Failed. Process aborted.\r\n", MessageIcon::Warning);
      RecordUntouchedCard(state);
      // The backup belongs to the checks: a Panel card's, though begun after them, fails them.
      state.storeStep = JobState::StoreStep::kChecks;
      FailStep(state, JobPhase::kPreparation);
      return EndJob(job, 0);
    }
  }
  state.SetPhase(JobPhase::kPreparation, kPhaseDone);
  state.storeStep = JobState::StoreStep::kWriting;
  state.AppendDiagnostics("\r\nExtracting files");

  EnterStage(state, 11);
  state.Log("  Starting Decompress() to extract files.");
  if (!Decompress(state, package)) {
    package.packageData = Bytes();
    state.Log("  decompression failed.");
    FailStep(state, JobPhase::kStore);
    return RestoreExit(state, request, card, package);
  }

  EnterStage(state, 12);
  // The Engine card's stored copy and version file; the version file is placed even when the
  // copy failed, as the card's record of what was stored.
  bool placed = true;
  if (!panel) {
    state.Log("  Target is the engine.");
    if (package.has3950Support) {
      placed = WriteStoredPackages(state, package, request.dataPath);
      if (!placed) FailStep(state, JobPhase::kStore);
    } else {
      placed = CopyPackageToCard(state, package);
    }
    placed = PlaceVersionFile(state, package.versions) && placed;
  }
  // Nothing after the stored copies reads the package.
  package.packageData = Bytes();

  EnterStage(state, 14);
  if (!placed) {
    state.Log("    attempting to restore the original files after store failed.");
    return RestoreExit(state, request, card, package);
  }
  state.AppendDiagnostics("\r\nExtract complete");

  EnterStage(state, 15);
  if (state.IsPanel()) {
    if (!PlaceReleaseNumber(state, package)) return RestoreExit(state, request, card, package);
  }
  return std::nullopt;
}

}  // namespace cw
