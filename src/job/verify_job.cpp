// "Verify Only": the store job's drive checks and card inspection, the reference table loaded
// from the package or from the card itself, and every file checked by CRC. Nothing on the card
// changes and nothing is restored.

#include "backup/file_listings.h"
#include "card/card_identity.h"
#include "card/card_inspection.h"
#include "card/volume.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/card_check.h"
#include "job/job_stop.h"
#include "job/job_result.h"
#include "job/jobs.h"
#include "job/load_info_array.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "verify/verify.h"

namespace cw {
namespace {

int FailVerify(JobState& state) {
  JobContext& job = state.job;
  state.SetPhase(JobPhase::kVerify, kPhaseFailed);
  return EndJob(job, 0);
}

// `cardRead` is set once the reference is loaded and the reading of the card begins.
int RunVerifyOnly(JobState& state, const VerifyRequest& request, CardFacts& card,
                  LoadedPackage& package, bool& cardRead) {
  JobContext& job = state.job;
  state.Log("VerifyOnly");
  // Taken as typed: no upper-casing and no bench-test switch, unlike the store job.
  state.globalFlashPath = request.cardPath;
  state.globalFWPDataFilePath = request.packagePath;
  state.SetPhase(JobPhase::kVerify, kPhaseRunning);
  // Nothing found on an earlier card or package carries over.
  state.targetType = kTargetUnknown;

  switch (CheckCardDrive(state.platform, state.globalFlashPath)) {
    case CardDrive::kNotRemovable:
      state.ShowAndRecord("Invalid drive type selected.\r\nPlease select a compact flash drive.",
                          MessageIcon::Warning);
      return EndJob(job, 0);
    case CardDrive::kDoesNotOpen:
      state.ShowAndRecord(
          "The selected drive is not opening.\r\nDo you have sufficient privileges?",
          MessageIcon::Warning);
      return FailVerify(state);
    case CardDrive::kUsable:
      break;
  }

  if (!BasicFlashCheck(state.platform, state, state.globalFlashPath, card))
    return FailVerify(state);
  TakeFirstCardIdentity(state, card);
  state.AppendDiagnostics("Card " + card.identity.letter + " " + IdentityLine(card.identity) +
                          "\r\n");

  GetCFFilesArray(state, state.cardFileList);
  card = InspectCard(state, std::move(card), request.target);
  if (state.targetType == kTargetUnknown) {
    state.ShowAndRecord(
        "Compact Flash type could not be determined.\r\nVerify correct drive and try again.\r\n",
        MessageIcon::Warning);
    return FailVerify(state);
  }

  const Reference reference = request.UsesPackageFile() ? Reference::kPackage : Reference::kCard;
  const bool loaded = LoadInfoArray(state, package, reference, request.packagePath);
  // The card's own reference includes its OS image.
  if (reference == Reference::kCard) package.osInPackage = 1;
  if (!loaded) {
    state.SetPhase(JobPhase::kVerifyOnly, kPhaseFailed);
    return EndJob(job, 0);
  }
  // Built as the store job builds it, from what was loaded; this job never writes it.
  GetUpgradeInfo(state, card.targetType, package.versions, request.packagePath);

  state.SetPhase(JobPhase::kVerifyOnly, kPhaseDone);
  cardRead = true;
  // A verdict is given only on files read from one card: the card is held to its identity
  // before the reading and after it, and read again once the first card is back. A slot left
  // empty keeps the verdict of what was read, as a card pulled out always did.
  bool passed = false;
  for (bool again = true; again;) {
    ConfirmSameCard(state, card, FirstCardLeft::kNoVerdict);
    state.fileChecks.clear();
    passed = KeepReport(state, Verify(state, card, package, reference)) == VerifyDecision::kPassed;
    const CardIdentity found = TakeCardIdentity(state.platform, card.identity.letter);
    again = card.identity.present && found.present && !SameCard(card.identity, found);
  }
  // Only a verify-only job's own pass is "Done!"; a restore's verification ends otherwise.
  if (passed) state.SetStatus("Done!");
  state.SetPhase(JobPhase::kVerify, passed ? kPhaseDone : kPhaseFailed);
  return EndJob(job, passed ? kExitVerified : 0);
}

}  // namespace

JobResult VerifyOnly(Platform& platform, JobContext* job, const VerifyRequest& request) {
  JobState state(platform, *job);
  return VerifyOnlyJob(state, request);
}

JobResult VerifyOnlyJob(JobState& state, const VerifyRequest& request, JobFindings* findings) {
  JobContext* const job = &state.job;
  JobFindings own;
  JobFindings& found = findings != nullptr ? *findings : own;
  found = JobFindings{};
  state.fileChecks.clear();
  state.stopOutcome = kNotStopped;
  state.BeginPhases(JobPhase::kVerifyOnly);
  bool cardRead = false;
  const int exitCode = RunWorker(state, [&state, &request, job, &found, &cardRead]() -> int {
    try {
      return RunVerifyOnly(state, request, found.card, found.package, cardRead);
    } catch (const CardReplaced& replaced) {
      return EndReplacedCard(state, replaced);
    } catch (const JobStopped&) {
      state.Log("  the verification was stopped by request.");
      const std::string text = StopSummary(kStoppedVerify);
      state.SetStatus(text);
      state.AppendDiagnostics("\r\n" + text + "\r\n");
      state.stopOutcome = kStoppedVerify;
      return EndJob(*job, kExitStopped);
    } catch (const std::exception& error) {
      const std::string what = DescribeError(error);
      state.Log("  the verification ended by an unexpected error: " + what);
      state.ShowUnexpectedError(what);
      return FailVerify(state);
    }
  });
  JobResult result = VerifyJobResult(state, exitCode, cardRead);
  result.card = found.card.identity;
  result.targetType = state.targetType;
  result.packagePath = request.packagePath;
  return result;
}

}  // namespace cw
