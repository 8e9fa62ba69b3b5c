// "Store and Verify", stages 16 to 18: eject the card so that every file is read back from the
// card itself, verify it, and leave the upgrade record on it.

#include <memory>
#include <string>

#include "backup/backup.h"
#include "card/file_status.h"
#include "card/volume.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/job_result.h"
#include "job/card_check.h"
#include "job/job_stop.h"
#include "job/store_job.h"
#include "platform/platform.h"
#include "verify/verify.h"

namespace cw {

namespace {

char CardLetter(JobState& state) {
  return state.globalFlashPath.empty() ? '\0' : state.globalFlashPath[0];
}

// Appends the record to "FWP_INFO_FILE.TXT", which only ever grows. A card that refuses it
// still holds a verified installation, so the job goes on after a warning. A read-only copy
// left by another tool would refuse the write, so its attributes are cleared first.
void AppendUpgradeRecord(JobState& state) {
  const std::string path = state.globalFlashPath + "\\FWP_INFO_FILE.TXT";
  ClearProtectionBeforeWrite(state.platform, state, path);
  std::unique_ptr<File> file = state.platform.OpenFile(path, OpenMode::OpenAlways);
  bool written = false;
  if (file) {
    written = file->Seek(0, SeekFrom::End) &&
              file->Write(state.upgradeInfoText.data(),
                          static_cast<uint32_t>(state.upgradeInfoText.size()));
    written = file->Close() && written;
  }
  if (written) return;
  state.LogF("  could not write the upgrade record to %s (error %d).", path.c_str(),
             static_cast<int>(GetLastError()));
  state.ShowAndRecord(
      "Warning: the upgrade record could not be written to FWP_INFO_FILE.TXT.\r\n"
      "The card itself verified.\r\n",
      MessageIcon::Warning);
}

}  // namespace

int VerifyAndFinish(JobState& state, const StoreRequest& request, CardFacts& card,
                    LoadedPackage& package) {
  JobContext& job = state.job;
  EnterStage(state, 16);
  state.SetStatus("Preparing to verify stored files...");
  state.AppendDiagnostics("Preparing to verify stored files...");
  state.Log("  Verifying stored files.");
  // Every file is written: a card that would not eject (its message says so) is verified as
  // Windows shows it, and put back only if that verification fails.
  if (!EjectAndConfirm(state, card, FirstCardLeft::kWrittenNotVerified))
    state.Log("  Could not eject compact flash; verifying the card as it is.");

  EnterStage(state, 17);
  if (state.softwareTestMode) {
    state.ShowMessage(
        "Files have been stored.\r\n"
        "Suggestion: Mess with either the files on the CF or the files in the backup folder",
        MessageButtons::Ok, MessageIcon::None);
  }
  // Every way the store could fail has ended the job before this stage.
  state.SetPhase(JobPhase::kStore, kPhaseDone);
  state.SetPhase(JobPhase::kVerify, kPhaseRunning);
  state.storeStep = JobState::StoreStep::kVerifying;
  state.AppendDiagnostics("\r\nVerifying");

  // The eject's check above came before the test-mode box and the display's wait: the card is
  // known again right before it is judged.
  ConfirmSameCard(state, card, FirstCardLeft::kWrittenNotVerified);
  switch (KeepReport(state, Verify(state, card, package, Reference::kStoring))) {
    case VerifyDecision::kFailedRestore: {
      const std::string text = "Download Failed!! Attempting Restore.";
      state.SetStatus(text);
      state.AppendDiagnostics(text);
      FailStep(state, JobPhase::kVerify);
      return RestoreExit(state, request, card, package);
    }
    case VerifyDecision::kPassed:
      break;
    default: {
      const std::string text = "Download Failed!! Compact flash is not usable!!";
      state.SetStatus(text);
      state.AppendDiagnostics(text);
      FailStep(state, JobPhase::kVerify);
      return EndJob(job, 0);
    }
  }
  state.AppendDiagnostics("\r\nVerify Complete");

  EnterStage(state, 18);
  ConfirmSameCard(state, card, FirstCardLeft::kVerifiedNoRecord);
  state.Log("  updating fwp_info_file.txt.");
  AppendUpgradeRecord(state);
  EjectCompactFlash(state.platform, state, CardLetter(state));
  state.SetPhase(JobPhase::kVerify, kPhaseDone);
  state.storeStep = JobState::StoreStep::kVerified;
  state.SetStatus("Done!");
  state.AppendDiagnostics("\r\nDownload Complete.");
  job.jobRunning = 0;
  state.Log("  DownloadAndVerify complete.");
  return 1;
}

}  // namespace cw
