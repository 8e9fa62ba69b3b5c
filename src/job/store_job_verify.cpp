// "Store and Verify", stages 16 to 18: eject the card so that every file is read back from the
// card itself, verify it, and leave the upgrade record on it.

#include <memory>
#include <string>

#include "backup/backup.h"
#include "card/volume.h"
#include "job/job_io.h"
#include "job/job_values.h"
#include "job/store_job.h"
#include "platform/platform.h"
#include "verify/verify.h"

namespace cw {

namespace {

char CardLetter() { return globalFlashPath.empty() ? '\0' : globalFlashPath[0]; }

// Appends the record to "FWP_INFO_FILE.TXT", which only ever grows. A card that refuses it
// still holds a verified installation, so the job goes on.
void AppendUpgradeRecord() {
  std::unique_ptr<File> file =
      Sys().OpenFile(globalFlashPath + "\\FWP_INFO_FILE.TXT", OpenMode::OpenAlways);
  if (!file) return;
  if (file->Seek(0, SeekFrom::End))
    file->Write(upgradeInfoText.data(), static_cast<uint32_t>(upgradeInfoText.size()));
  file->Close();
}

}  // namespace

int VerifyAndFinish(JobContext& job) {
  Log("  Stage 16...");
  SetStatus("Preparing to verify stored files...");
  AppendDiagnostics("Preparing to verify stored files...");
  Log("  Verifying stored files.");
  if (!EjectCompactFlash(CardLetter())) {
    Log("  Could not eject compact flash");
    SetPhase(job.storeState, kPhaseFailed);
    return RestoreExit(job);
  }

  Log("  Stage 17...");
  if (softwareTestMode) {
    ShowMessage(
        "Files have been stored.\r\n"
        "Suggestion: Mess with either the files on the CF or the files in the backup folder",
        MessageButtons::Ok, MessageIcon::None);
  }
  if (job.storeState != kPhaseFailed) SetPhase(job.storeState, kPhaseDone);
  SetPhase(job.verifyState, kPhaseRunning);
  Wait(kPhaseWaitMs);
  AppendDiagnostics("\r\nVerifying");

  switch (Verify()) {
    case kVerifyFailedRestore: {
      const std::string text = "Download Failed!! Attempting Restore.";
      SetStatus(text);
      AppendDiagnostics(text);
      SetPhase(job.verifyState, kPhaseFailed);
      Wait(kPhaseWaitMs);
      AttemptRestore();
      Wait(kEndWaitMs);
      return EndJob(job, 0);
    }
    case kVerifyPassed:
      break;
    default: {
      const std::string text = "Download Failed!! Compact flash is not usable!!";
      SetStatus(text);
      AppendDiagnostics(text);
      SetPhase(job.verifyState, kPhaseFailed);
      Wait(kEndWaitMs);
      return EndJob(job, 0);
    }
  }
  AppendDiagnostics("\r\nVerify Complete");

  Log("  Stage 18...");
  Log("  updating fwp_info_file.txt.");
  AppendUpgradeRecord();
  EjectCompactFlash(CardLetter());
  SetPhase(job.verifyState, kPhaseDone);
  SetStatus("Done!");
  AppendDiagnostics("\r\nDownload Complete.");
  Wait(kEndWaitMs);
  job.jobRunning = 0;
  Log("  DownloadAndVerify complete.");
  return 1;
}

}  // namespace cw
