#pragma once
// The state of one running job: what the job as a whole is (its platform, the front end's
// JobContext, its stop level) and the values its steps genuinely share, under the names the
// system gives them, and the way each step reports (log, messages, status, progress, file
// checks, stop requests) through the job's own JobContext. What a step finds or makes it
// returns (card/card_inspection.h: CardFacts; package/loaded_package.h: LoadedPackage), and the
// job hands that on to the steps that need it. The worker owns one JobState and passes it by
// reference to each step, so two jobs never share a mutable value; only the log, which locks
// per line, is shared.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "record/job_context.h"
#include "record/job_events.h"
#include "record/job_request.h"
#include "record/job_result.h"
#include "log/reporter.h"
#include "record/prompt.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw {

using FileList = std::vector<std::string>;

// Thrown by a long loop that sees stopRequested; the worker entry turns it into exit code 5.
// `detail` says how far the stopped step had come, where that matters to the user.
struct JobStopped {
  std::string detail;
};
constexpr int kExitStopped = 5;
// The worker's exit code when the card in the slot was not the job's and was not put back.
constexpr int kExitCardReplaced = 6;

struct JobState : Reporter {
  JobState(Platform& platform, JobContext& context);
  JobState(const JobState&) = delete;
  JobState& operator=(const JobState&) = delete;

  // The machine the job works on, made and owned by the front end.
  Platform& platform;
  // The front end's record of this job: start values in, status and results out.
  JobContext& job;

  // How many stop requests end the running step: 1, raised while a restore runs (RunRestore).
  int32_t stopLevel = 1;
  std::string globalFlashPath;
  std::string globalFWPDataFilePath;
  int32_t softwareTestMode = 0;
  int32_t targetType = kTargetUnknown;
  std::string upgradeInfoText;
  FileList cardFileList;
  FileList backupFileList;
  std::string backupRoot;
  // How many files the backup folder of the card's kind held (stage 8), so the result can tell
  // a restore with nothing to put back.
  int32_t backupFileCount = 0;
  // No backup in this job: "Create Backup" is off, or the card is empty. The setting itself
  // (the request's backup choice) stays as the user left it for the next job.
  int32_t backupSkipped = 0;

  // Where the store job is, set by the job as its steps begin and end: its checks and backup,
  // its writing, its verification of the card, or the card verified; and whether the step it
  // reached failed (a restore may follow). A stop or an error fails the step the job is in; the
  // result's verdicts come from here.
  enum class StoreStep { kChecks, kWriting, kVerifying, kVerified };
  StoreStep storeStep = StoreStep::kChecks;
  bool storeStepFailed = false;

  // The store job: files placed on the card (extraction and the stored copies add to it), the
  // stage it has reached: what a stop or an error needs to know whether the card has changed.
  int32_t filesStored = 0;
  int32_t storeStage = 0;
  // The job's own record of its backup and of the card, set by the steps as they finish and
  // never worked out again from what lies on disk: this job's backup is whole, on the PC's disk
  // and described by its manifest; the first card file has been deleted or overwritten. A stop
  // or an error restores exactly when the card changed.
  bool backupComplete = false;
  bool cardChanged = false;
  // The job's restore: begun, and how it ended (none when it never returned, as when another
  // card took the job's card's place).
  bool restoreRan = false;
  std::optional<RestoreOutcome> restoreOutcome;
  // How a job that was asked to stop ended, for its result; kNotStopped for every other end.
  StopOutcome stopOutcome = kNotStopped;
  // Card files whose read-only, hidden or system attribute the backup cleared as it copied.
  FileList attributesCleared;
  // The files this job's verifications read, in order, for its result: each verification's
  // report as the job takes it in, or the checks it had made when it ended early.
  std::vector<FileCheck> fileChecks;

  bool IsPanel() const { return IsPanelTarget(targetType); }

  // The job's own record of its phases (begun from the front end's start values), and the
  // move of one: recorded here and told to the front end.
  void SetPhase(JobPhase phase, PhaseState to);
  // A job's start: every phase idle but its first, which runs.
  void BeginPhases(JobPhase first);
  PhaseState Phase(JobPhase phase) const { return phases_[static_cast<int>(phase)]; }

  // Writes one line to the job's log; nothing when the job has no log.
  void Log(const std::string& message) const override;
  // Shows a message box through the job's prompt (Cancel when there is none).
  MessageResult ShowMessage(const std::string& text, MessageButtons buttons,
                            MessageIcon icon) const override;
  // Shows an OK box, then appends the text to diagnosticsText, as most job failures do.
  void ShowAndRecord(const std::string& text, MessageIcon icon) const override;
  // Shows "The job ended by an unexpected error: ERROR" and records it in the transcript.
  void ShowUnexpectedError(const std::string& error) const;
  void SetStatus(const std::string& text) const;
  void AppendDiagnostics(const std::string& text) const;
  void SetProgressRange(int32_t min, int32_t max) const;
  void SetProgressPos(int32_t pos) const;
  // Amounts for the front ends that show them: `phase` begins counting `files` files of `bytes`
  // bytes in all, after its SetProgressRange (which ends the counting of the one before); each
  // file done, passed or failed, adds itself with CountFileDone.
  void StartPhaseAmounts(ProgressPhase phase, int64_t files, uint64_t bytes) const;
  void CountFileDone(uint64_t bytes) const;
  // Tells the front end of a file check, afterRestore set here from the phase; returns it so
  // that the verification's report holds the same row.
  FileCheck RecordFileCheck(FileCheck check) const;
  // Throws JobStopped when stopRequested has reached the level the running step needs (1; a
  // restore needs one request more). jobRunning is cleared by the worker entry, not here.
  void StopIfRequested() const;

 private:
  PhaseState phases_[kJobPhaseCount]{};
};

}  // namespace cw
