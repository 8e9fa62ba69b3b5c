// "Verify Only": the store job's drive checks and card inspection, the reference table loaded
// from the package or from the card itself, and every file checked by CRC. Nothing on the card
// changes and nothing is restored.

#include "backup/file_listings.h"
#include "card/card_inspection.h"
#include "card/volume.h"
#include "job/job_io.h"
#include "job/job_stop.h"
#include "job/job_values.h"
#include "job/jobs.h"
#include "package/load_info_array.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "verify/verify.h"

namespace cw {
namespace {

constexpr uint32_t kPhaseWaitMs = 50;

// Ends the job: jobRunning is the last field a job writes.
int EndJob(JobContext& job, int result) {
  job.jobRunning = 0;
  return result;
}

int FailVerify(JobContext& job) {
  SetPhase(job.verifyState, kPhaseFailed);
  Wait(kPhaseWaitMs);
  return EndJob(job, 0);
}

int RunVerifyOnly(JobContext& job) {
  Log("VerifyOnly");
  // Taken as typed: no upper-casing and no bench-test switch, unlike the store job.
  globalFlashPath = job.flashPath;
  globalFWPDataFilePath = job.fwpPath;
  SetPhase(job.verifyState, kPhaseRunning);
  // Nothing found on an earlier card or package carries over.
  targetType = kTargetUnknown;
  osOnCard = 0;
  has3950Support = 0;

  if (Sys().GetDriveType(globalFlashPath) != DriveType::Removable ||
      Contains(globalFlashPath, "C")) {
    ShowAndRecord("Invalid drive type selected.\r\nPlease select a compact flash drive.",
                  MessageIcon::Warning);
    return EndJob(job, 0);
  }

  VolumeHandle probe = OpenVolume(globalFlashPath.empty() ? '\0' : globalFlashPath[0]);
  if (!probe) {
    ShowAndRecord("The selected drive is not opening.\r\nDo you have sufficient privileges?",
                  MessageIcon::Warning);
    return FailVerify(job);
  }
  CloseVolume(std::move(probe));

  if (!BasicFlashCheck()) return FailVerify(job);

  GetCFFilesArray(cardFileList);
  GetCFInfo();
  // Built as the store job builds it; this job never writes it to the card.
  GetUpgradeInfo();

  if (targetType == kTargetUnknown) {
    ShowAndRecord(
        "Compact Flash type could not be determined.\r\nVerify correct drive and try again.\r\n",
        MessageIcon::Warning);
    return FailVerify(job);
  }

  const bool loaded = LoadInfoArray();
  // The card's own reference includes its OS image.
  if (job.usePackageFile == 0) osInPackage = 1;
  if (!loaded) {
    SetPhase(job.verifyOnlyState, kPhaseFailed);
    Wait(kPhaseWaitMs);
    return EndJob(job, 0);
  }

  SetPhase(job.verifyOnlyState, kPhaseDone);
  Wait(kPhaseWaitMs);
  const int result = Verify();
  SetPhase(job.verifyState, result == kVerifyPassed ? kPhaseDone : kPhaseFailed);
  Wait(kPhaseWaitMs);
  return EndJob(job, result);
}

}  // namespace

int VerifyOnly(JobContext* job) {
  return RunWorker(*job, [job]() -> int {
    try {
      return RunVerifyOnly(*job);
    } catch (const JobStopped&) {
      Log("  the verification was stopped by request.");
      const std::string text = StopSummary(kStoppedVerify);
      SetStatus(text);
      AppendDiagnostics("\r\n" + text + "\r\n");
      job->stopOutcome = kStoppedVerify;
      return EndJob(*job, kExitStopped);
    } catch (const std::exception& error) {
      const std::string what = DescribeError(error);
      Log("  the verification ended by an unexpected error: " + what);
      ShowUnexpectedError(what);
      return FailVerify(*job);
    }
  });
}

}  // namespace cw
