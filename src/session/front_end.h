#pragma once
// What both front ends (window and command line) do around a job, so they behave the same:
// start-up of a run, the last package path, the card detection that typing a card path runs,
// the checks before a store job starts, and saving the transcript when a job ends.

#include <mutex>
#include <optional>
#include <string>

#include "job/program_version.h"
#include "record/job_context.h"
#include "record/job_request.h"
#include "log/log_to_file.h"
#include "platform/platform.h"

namespace cw {

inline constexpr const char* kWindowTitleFormat =
    "Ver. %.3f - Quorvane FWP File Downloader and Verifier";
// Status line 1 after the card detection.
inline constexpr const char* kEngineCardStatus = "Downloading to an ENGINE compact flash";
inline constexpr const char* kPanelCardStatus = "Downloading to a PANEL compact flash";

// The status while a log line waits long for the log's lock.
inline constexpr const char* kLockWaitStatus = "Waiting for another Cardwright to finish ...";

// A front end's LogLockWait: the job's status says that it waits while the wait lasts, and a
// stop request (Ctrl-C, closing the window) ends the wait, losing that line.
class RunLockWait : public LogLockWait {
 public:
  explicit RunLockWait(JobContext& job) : job_(job) {}
  void Waiting(bool waiting) override;
  bool KeepWaiting() override { return job_.stopRequested == 0; }

 private:
  JobContext& job_;
  std::mutex mutex_;
  std::string before_;  // the status the wait replaced
};

// The folders a run works with: the program's (the current folder at start-up) and the data
// folder (backups, the log, the transcript, the last path).
struct RunFolders {
  std::string rootPath;
  std::string dataPath;
};

// Start-up: rootPath, dataPath (documents folder upper-cased + "\BREVANT\QUORVANE"; the
// temporary folder, after a message, when there is none), the data folder created, `log`
// pointed at "fwp_downloader.log" there and enabled, the start-up lines written. A temporary
// folder that is not the user's own is no data folder: dataPath stays empty and logging off.
// `job.prompt` must be set by the caller; `job.log` is set to `log`.
RunFolders StartRun(Platform& platform, JobContext& job, CLogToFile& log);

// Where the package box's start-up text came from, and what it is.
struct LastPath {
  std::string path;
  // True when the text came from a "LastPathUsed.txt" (versions are read before the box is
  // filled); false when it was found by searching the program's folder (box first).
  bool fromFile = false;
};
// Refreshes and reads "LastPathUsed.txt" or searches rootPath for a package; nullopt when the
// box stays empty.
std::optional<LastPath> ResolveLastPath(Platform& platform, JobContext& job,
                                        const RunFolders& folders);

// What the card detection found: the card's kind and the text for status line 1.
struct DetectedCard {
  TargetChoice target = TargetChoice::kNone;
  std::string status;
};
// Card detection of the card path box, the whole change handler: logs "OnChangeEditCompactFlash"
// and the path, and tells the card's kind from its files. Nullopt when nothing was detected
// (the front end keeps the kind it had).
std::optional<DetectedCard> DetectCardTarget(Platform& platform, JobContext& job,
                                             const std::string& cardPath);

// The checks "Store and Verify" makes before it starts a job, from its first log line
// ("OnDownloadAndVerify"): a private folder that is not the user's own (locks and temporary
// files), an empty card path and a package format newer than 1.009 are refused with their
// message (false). On success the package path is saved to "LastPathUsed.txt" in the data
// folder. The format is read from the package itself. `job` gives the log and the prompt.
bool CheckStoreRequest(Platform& platform, JobContext& job, const StoreRequest& request);
// The same for "Verify Only" (the private folder and an empty card path only; logs nothing
// more, the caller logs "OnVerify").
bool CheckVerifyRequest(Platform& platform, JobContext& job, const VerifyRequest& request);

inline constexpr const char* kDiagnosticsFileName = "\\DownloadDiagnostics.txt";

// Writes the whole transcript to "DownloadDiagnostics.txt" in the data folder `dataPath`. False
// (and "  could not be saved." or "  failed to open." logged) when it is not all on disk.
bool StoreDiagnostics(Platform& platform, JobContext& job, const std::string& dataPath);

// A card named by the host folder of a mapped drive ("/media/tech/CARD") becomes that drive's
// letter ("E:"); any other text is returned unchanged.
std::string CardPathOfHostFolder(Platform& platform, const std::string& text);

}  // namespace cw
