// "Store and Verify", stages 16 to 18: eject the card so that every file is read back from the
// card itself, verify it, and leave the upgrade record on it.

#include <memory>
#include <string>

#include "backup/backup.h"
#include "card/volume.h"
#include "job/job_io.h"
#include "job/job_stop.h"
#include "job/job_values.h"
#include "job/store_job.h"
#include "platform/platform.h"
#include "verify/verify.h"

namespace cw {

namespace {

char CardLetter() { return globalFlashPath.empty() ? '\0' : globalFlashPath[0]; }

// Appends the record to "FWP_INFO_FILE.TXT", which only ever grows. A card that refuses it
// still holds a verified installation, so the job goes on after a warning.
void AppendUpgradeRecord() {
  const std::string path = globalFlashPath + "\\FWP_INFO_FILE.TXT";
  std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::OpenAlways);
  bool written = false;
  if (file) {
    written = file->Seek(0, SeekFrom::End) &&
              file->Write(upgradeInfoText.data(), static_cast<uint32_t>(upgradeInfoText.size()));
    written = file->Close() && written;
  }
  if (written) return;
  LogF("  could not write the upgrade record to %s (error %d).", path.c_str(),
       static_cast<int>(GetLastError()));
  ShowAndRecord(
      "Warning: the upgrade record could not be written to FWP_INFO_FILE.TXT.\r\n"
      "The card itself verified.\r\n",
      MessageIcon::Warning);
}

}  // namespace

int VerifyAndFinish(JobContext& job) {
  EnterStage(16);
  SetStatus("Preparing to verify stored files...");
  AppendDiagnostics("Preparing to verify stored files...");
  Log("  Verifying stored files.");
  if (!EjectCompactFlash(CardLetter())) {
    Log("  Could not eject compact flash");
    SetPhase(job.storeState, kPhaseFailed);
    return RestoreExit(job);
  }

  EnterStage(17);
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
      RunRestore(job);
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

  EnterStage(18);
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
