#pragma once
// The state of one running job: the values every step of it works from, under the names the
// system gives them, and the way each step reports (log, messages, status, progress, file
// checks, stop requests) through the job's own JobContext. The worker owns one and passes it by
// reference to each step, so two jobs never share a mutable value; only the log, which locks
// per line, is shared.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "record/job_context.h"
#include "record/prompt.h"
#include "record/file_table.h"
#include "platform/platform.h"

namespace cw {

using FileList = std::vector<std::string>;

// printf-style formatting into a std::string (the jobs' message formats are printf formats).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Thrown by a long loop that sees stopRequested; the worker entry turns it into exit code 5.
// `detail` says how far the stopped step had come, where that matters to the user.
struct JobStopped {
  std::string detail;
};
constexpr int kExitStopped = 5;

// How long a step waits after a phase change, and a job before it ends, when the front end asks
// for it (JobContext::phaseWaits).
inline constexpr uint32_t kPhaseWaitMs = 50;
inline constexpr uint32_t kEndWaitMs = 1000;

struct JobState {
  JobState(Platform& platform, JobContext& context) : platform(platform), job(context) {}
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
  int32_t osOnCard = 0;
  int32_t osInPackage = 0;
  int32_t has3950Support = 0;
  int32_t releaseNumber = 0;
  uint64_t packageBytes = 0;
  uint64_t keptBytes = 0;
  uint64_t cardTotalBytes = 0;
  std::string upgradeInfoText;
  FileList cardFileList;
  FileList backupFileList;
  std::string backupRoot;
  // No backup in this job: "Create Backup" is off, or the card is empty. The setting itself
  // (JobContext::skipBackup) stays as the user left it for the next job.
  int32_t backupSkipped = 0;

  // The package's file table, replaced by each load, and the six header words of the last
  // package read (only words 1 and 2 are interpreted).
  std::vector<FILE_INFO_STRUCT> fileTable;
  int32_t headerWord1 = 0;
  int32_t headerWord2 = 0;
  int32_t headerWord3 = 0;
  int32_t headerWord4 = 0;
  int32_t headerWord5 = 0;
  int32_t headerWord6 = 0;
  // The one file object through which the package is read; each user opens and closes it.
  std::unique_ptr<File> packageFile;
  // The whole package as the store job's load read it, at one go: the check, the table, the
  // extraction and the stored copies all work from these bytes, so the package is read once
  // and what goes onto the card is what was checked. Empty outside a store, and let go once
  // nothing needs them any more.
  std::vector<uint8_t> packageData;
  // Extraction's buffer for one inflated file, made as large as the largest while the load
  // still refuses (so a package that does not fit is known before the card changes), and
  // let go with the package's bytes.
  std::vector<uint8_t> inflateBuffer;
  // The records of each stored copy of a package with 3950 support, with their offsets in it
  // once the copy is written; emptied by each WriteStoredPackages.
  std::vector<FILE_INFO_STRUCT> split3940Table;  // "UPGRADE.FWP"
  std::vector<FILE_INFO_STRUCT> split3950Table;  // "FWP_3950.FWP"

  // Package files on the card other than the stored copies; rebuilt by each GetCFInfo.
  FileList otherPackageFiles;
  // globalFlashPath + "\WD\CRCFile.txt", set by CheckIfWD.
  std::string secondCRCListPath;

  // The store job: files placed on the card (extraction and the stored copies add to it), the
  // stage it has reached, and whether its backup cleans the card once it is complete (a Panel
  // card): what a stop or an error needs to know whether the card has changed.
  int32_t filesStored = 0;
  int32_t storeStage = 0;
  bool backupErases = false;
  // The job's own record of its backup and of the card, set by the steps as they finish and
  // never worked out again from what lies on disk: this job's backup is whole, on the PC's disk
  // and described by its manifest; the first card file has been deleted or overwritten. A stop
  // or an error restores exactly when the card changed.
  bool backupComplete = false;
  bool cardChanged = false;
  // Card files whose read-only, hidden or system attribute the backup cleared as it copied.
  FileList attributesCleared;

  // A "10/0 package": header word 1 is 10 and word 2 is 0; it changes the loader's filter and
  // the protection rule for 3950 panel cards.
  bool IsTenZeroPackage() const { return headerWord1 == 10 && headerWord2 == 0; }
  bool IsPanel() const { return targetType == kTargetPanel3940 || targetType == kTargetPanel3950; }

  // Writes one line to the job's log; nothing when the job has no log.
  void Log(const std::string& message) const;
  void LogF(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  // Shows a message box through the job's prompt (Cancel when there is none).
  MessageResult ShowMessage(const std::string& text, MessageButtons buttons,
                            MessageIcon icon) const;
  // Shows an OK box, then appends the text to diagnosticsText, as most job failures do.
  void ShowAndRecord(const std::string& text, MessageIcon icon) const;
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
  // Adds a file check to the job's record; afterRestore is set here, from the phase.
  void RecordFileCheck(FileCheck check) const;
  // Waits after a phase change or before the job ends, so that a window's 20 ms timer sees the
  // phase; only when the front end asks for it (JobContext::phaseWaits). Nothing else waits here.
  void PhaseWait(uint32_t milliseconds) const;
  // Throws JobStopped when stopRequested has reached the level the running step needs (1; a
  // restore needs one request more). jobRunning is cleared by the worker entry, not here.
  void StopIfRequested() const;
};

}  // namespace cw
