// "Store and Verify" after the checks: the backup, the package's files onto the card (stage
// 11), the Engine card's stored package copy and version file (stages 12 and 13), and the
// Panel card's release number file (stage 15). A failure from here on puts the backup back.

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "job/job_io.h"
#include "job/job_stop.h"
#include "job/job_values.h"
#include "job/store_job.h"
#include "package/extraction.h"
#include "package/stored_package.h"
#include "platform/platform.h"

namespace cw {

namespace {

// Writes `bytes` to a new (or truncated) file, then opens it again as proof that it is there.
// Every step counts: a short write must not pass for a placed file.
enum class PlaceResult { Placed, NotCreated, NotWritten };

PlaceResult PlaceSmallFile(const std::string& path, const std::vector<uint8_t>& bytes,
                           const char* writtenLine) {
  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::CreateAlways);
  if (!file) return PlaceResult::NotCreated;
  const bool written = file->Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  const bool closed = file->Close();
  if (writtenLine != nullptr && written && closed) Log(writtenLine);
  if (!written || !closed) return PlaceResult::NotWritten;
  std::unique_ptr<File> check = Sys().OpenFile(path, OpenMode::Read);
  if (!check) return PlaceResult::NotWritten;
  check->Close();
  return PlaceResult::Placed;
}

void PutInt32(std::vector<uint8_t>& bytes, size_t offset, int32_t value) {
  const uint32_t u = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(u >> (8 * i));
}

// "FWPVers.bin": the package's version block; the generator values only from format 1.008.
std::vector<uint8_t> VersionFileBytes(const JobContext& job) {
  std::vector<uint8_t> bytes(24, 0);
  const VersionBlock& v = job.versionBlock;
  PutInt32(bytes, 0, v.formatVersion);
  PutInt32(bytes, 4, v.formatRevision);
  bytes[8] = static_cast<uint8_t>(v.formatLetter);
  if (job.fwpVersion >= 1008) {
    PutInt32(bytes, 12, v.generatorVersion);
    PutInt32(bytes, 16, v.generatorRevision);
    bytes[20] = static_cast<uint8_t>(v.generatorLetter);
  }
  return bytes;
}

void FailStore(JobContext& job, const std::string& message) {
  ShowAndRecord(message, MessageIcon::Warning);
  SetPhase(job.storeState, kPhaseFailed);
}

// Stage 12 without 3950 support: the package itself becomes "UPGRADE.FWP".
void CopyPackageToCard(JobContext& job) {
  const std::string status = Format("%d Files stored", filesStored);
  SetStatus(status);
  Log("  " + status);

  const std::string targetPath = globalFlashPath + "\\UPGRADE.FWP";
  std::unique_ptr<File> target = Sys().OpenFile(targetPath, OpenMode::CreateAlways);
  if (!target) {
    ShowMessage("Could not open target FWP file\r\n" + targetPath, MessageButtons::Ok,
                MessageIcon::Warning);
    AppendDiagnostics("Could not open target FWP file\r\n" + targetPath);
    AppendDiagnostics("\r\n");
    SetPhase(job.storeState, kPhaseFailed);
    LogF("Could not open target FWP file %s", targetPath.c_str());
    return;
  }
  std::unique_ptr<File> source = Sys().OpenFile(globalFWPDataFilePath, OpenMode::Read);
  if (!source) {
    const std::string message = "Could not open source FWP file\r\n" + globalFWPDataFilePath;
    Log(message);
    ShowMessage(message, MessageButtons::Ok, MessageIcon::Warning);
    AppendDiagnostics(message);
    AppendDiagnostics("\r\n");
    SetPhase(job.storeState, kPhaseFailed);
    return;
  }

  Log("  Starting write operation.");
  // The package in one piece, as big as the file really is.
  uint64_t size = 0;
  bool ok = source->GetSize(&size) && size <= 0xFFFFFFFFull;
  std::vector<uint8_t> buffer;
  uint32_t got = 0;
  if (ok) {
    try {
      buffer.assign(static_cast<size_t>(size), 0);
    } catch (const std::bad_alloc&) {
      Log("  no memory for the package's copy.");
      ok = false;
    }
  }
  if (ok) {
    ok = source->Seek(0, SeekFrom::Begin) && target->Seek(0, SeekFrom::Begin) &&
         source->Read(buffer.data(), static_cast<uint32_t>(size), &got) && got == size &&
         target->Write(buffer.data(), static_cast<uint32_t>(size));
  }
  source->Close();
  ok = target->Close() && ok;
  if (!ok) {
    // A stored copy that is not the package would fail every later check of this card.
    const std::string message = "Could not write target FWP file\r\n" + targetPath;
    Log(message);
    FailStore(job, message + "\r\n");
    return;
  }
  Log("  operation complete.");
}

// Stage 13: "FWPVers.bin" in the Engine card's root.
void PlaceVersionFile(JobContext& job) {
  EnterStage(13);
  const std::string path = globalFlashPath + "\\FWPVers.bin";
  LogF("  saving FWP version info to %s", path.c_str());
  const char* message = "Failed to place FWP Version file on flash\r\n";
  switch (PlaceSmallFile(path, VersionFileBytes(job), "    wrote the data.")) {
    case PlaceResult::Placed:
      break;
    case PlaceResult::NotCreated:
      Log("    failed to open.");
      FailStore(job, message);
      break;
    case PlaceResult::NotWritten:
      Log("    failed to write the version information.");
      FailStore(job, message);
      break;
  }
}

// Stage 15: "\Brevant\ReleaseNumber" on a Panel card. False when it could not be placed.
bool PlaceReleaseNumber(JobContext& job) {
  Log("    writing release number to panel flash.");
  const std::string path = globalFlashPath + "\\Brevant\\ReleaseNumber";
  std::vector<uint8_t> bytes(4, 0);
  PutInt32(bytes, 0, releaseNumber);
  const PlaceResult result = PlaceSmallFile(path, bytes, nullptr);
  if (result == PlaceResult::Placed) return true;
  if (result == PlaceResult::NotCreated) Log("    failed to open " + path);
  const std::string message = "Failed to place Release file on flash";
  AppendDiagnostics(message);
  ShowMessage(message, MessageButtons::Ok, MessageIcon::Warning);
  SetPhase(job.storeState, kPhaseFailed);
  return false;
}

}  // namespace

int RestoreExit(JobContext& job) {
  Wait(kPhaseWaitMs);
  RunRestore(job);
  return EndJob(job, 0);
}

std::optional<int> BackupAndProgram(JobContext& job) {
  const bool panel = targetType != kTargetEngine;
  LogF("  proceeding to program the flash.  Backup?  %s", backupSkipped ? "No" : "Yes");
  if (!backupSkipped) {
    Log("  backing up files.");
    backupErases = panel;
    if (panel) job.cardMayHaveChanged = 1;  // the card is cleaned once its backup is whole
    if (!BackupFiles(panel)) {
      Log("  File Backup Failed. Process aborted.");
      ShowAndRecord("File Backup Failed. Process aborted.\r\n", MessageIcon::Warning);
      if (panel) {
        SetPhase(job.prepState, kPhaseFailed);
        Wait(kPhaseWaitMs);
        Log("  Attempting to restore.");
        RunRestore(job);
      }
      return EndJob(job, 0);
    }
  }
  SetPhase(job.prepState, kPhaseDone);
  AppendDiagnostics("\r\nExtracting files");

  EnterStage(11);
  Log("  Starting Decompress() to extract files.");
  if (!Decompress(filesStored)) {
    Log("  decompression failed.");
    SetPhase(job.storeState, kPhaseFailed);
    return RestoreExit(job);
  }

  EnterStage(12);
  if (!panel && job.storeState != kPhaseFailed) {
    Log("  Target is the engine.");
    if (has3950Support && job.usePackageFile) {
      if (!WriteStoredPackages(filesStored)) SetPhase(job.storeState, kPhaseFailed);
    } else {
      CopyPackageToCard(job);
    }
    PlaceVersionFile(job);
  }

  EnterStage(14);
  if (job.storeState == kPhaseFailed) {
    Wait(kPhaseWaitMs);
    Log("    attempting to restore the original files after store failed.");
    RunRestore(job);
    return EndJob(job, 0);
  }
  AppendDiagnostics("\r\nExtract complete");

  EnterStage(15);
  if (targetType == kTargetPanel3940 || targetType == kTargetPanel3950) {
    if (!PlaceReleaseNumber(job)) return RestoreExit(job);
  }
  return std::nullopt;
}

}  // namespace cw
