#pragma once
// The main dialog's logic (layout IDD_CARDWRIGHT): start-up, the two job buttons, the 20 ms timer
// that follows a job, "Browse...", the card and package boxes, the tree and "Advanced". It works
// against a DialogView and a TreeView, so it runs the same under Qt and in tests.

#include <functional>
#include <string>
#include <thread>

#include "session/front_end.h"
#include "session/job_session.h"
#include "record/job_context.h"
#include "record/job_result.h"
#include "record/prompt.h"
#include "log/log_to_file.h"
#include "ui/dialog_view.h"
#include "ui/dir_tree_ctrl.h"
#include "ui/settings_dialogs.h"

namespace cw {

// The worker entries a dialog starts (DownloadAndVerify and VerifyOnly, or a test's own), each
// given the request the window made.
struct JobWorkers {
  using Store = std::function<JobResult(JobContext*, const StoreRequest&)>;
  using Verify = std::function<JobResult(JobContext*, const VerifyRequest&)>;
  JobWorkers(Store storeWorker, Verify verifyWorker);
  // Jobs of their own that need no request (a scripted job).
  JobWorkers(JobWorker storeWorker, JobWorker verifyWorker);
  Store store;
  Verify verify;
};

// Which of the job's phases the window's timer follows: it decides the status line the text
// goes to (the second for a restore and its verification) and the marks shown as the phases end.
enum class DisplayMode : int32_t {
  kPreparation = 0,
  kStore = 1,
  kVerifyOnly = 2,
  kVerification = 3,
  kRestore = 4,
  kRestoreVerification = 5,
  kNoJob = 255,
};
// The real jobs, on `platform`.
JobWorkers DefaultJobWorkers(Platform& platform);

class CCardwrightDlg {
 public:
  // `platform` is the machine the dialog, its log and its jobs work on; it outlives the dialog.
  CCardwrightDlg(Platform& platform, DialogView& view, TreeView& treeView, Prompt& prompt,
                 JobWorkers workers);
  // Normally the window closes only after its job ended (OnClose). A worker still running here
  // is asked to stop and waited for: however long while the card may have changed (the restore
  // must finish), at most 10 s otherwise; after that the program is ended (the transcript saved
  // first), since the worker still uses the job.
  ~CCardwrightDlg();
  CCardwrightDlg(const CCardwrightDlg&) = delete;
  CCardwrightDlg& operator=(const CCardwrightDlg&) = delete;

  // Start-up: data folder, log, drive tree, last package path, title.
  bool OnInitDialog();

  void OnDownloadAndVerify();
  void OnVerify();
  void OnTimer();
  void OnBrowseCrcFile();
  void OnChangeEditCrcDataFile();
  void OnChangeEditCompactFlash();
  void OnSelchangedTree2(TreeView::Item selected);
  void OnItemExpanded(TreeView::Item item, bool expanded) { tree_.OnItemExpanded(item, expanded); }
  void OnAdvanced();
  // "History...": the card journal of the data folder.
  void OnHistory() { view_.RunHistory(platform_, folders_.dataPath); }
  // Cards came or went (Windows' device-change message or PollDrives said so): the tree's
  // drives follow at once, or when the running job has ended.
  void OnDrivesChanged();
  // Asks the platform whether cards came or went (the front end's poll where the operating
  // system sends no message, as on Linux); only while no job runs.
  void PollDrives();
  // Close box: true when the window may close now (no job runs). Otherwise the job is asked
  // to stop, an open question is answered Cancel, the status line says the job is stopping and
  // the window stays live; the timer closes it (DialogView::CloseWindow) once the job has
  // ended and its transcript is saved. A job that has not begun to change the card and does
  // not stop within 10 s ends the program with a failure status; one that has (a restore
  // included) is waited for.
  bool OnClose();
  // Esc: as the close box, but while a job runs it asks first, since a key pressed by mistake
  // must not stop a job; Cancel leaves the job running (false).
  bool OnEscape();

  void ShowPassMark1(bool show);
  void ShowPassMark2(bool show);
  void ShowFailMarks1(bool show);
  void ShowFailMarks2(bool show);
  void EnableInputs(bool enable);

  JobContext& job() { return job_; }
  // The start values the next job's request is made from.
  const std::string& packagePath() const { return packagePath_; }
  const std::string& cardPath() const { return cardPath_; }
  const std::string& dataPath() const { return folders_.dataPath; }
  AdvancedSettings& settings() { return settings_; }
  PackageVersions& versions() { return versions_; }
  // The phase the timer follows; the window thread alone uses it.
  DisplayMode displayMode() const { return displayMode_; }
  void SetDisplayMode(DisplayMode mode) { displayMode_ = mode; }
  // The running job timer's id, 0 when none runs.
  int timerId() const { return timerId_; }
  CDirTreeCtrl& tree() { return tree_; }
  CLogToFile& log() { return log_; }
  // True from a job's start until the timer has seen it end.
  bool jobActive() const { return jobActive_; }

  // True from a close request until the window closes.
  bool closing() const { return closing_; }

  // What ends the program when a worker outlives the close wait (it never returns: the
  // process ends with a failure status). Tests replace it.
  void SetEndProcess(std::function<void()> endProcess) { endProcess_ = std::move(endProcess); }

 private:
  void GetFWPVerRev(const std::string& path);
  // Puts text into a box and runs the box's change handler, as a text change does.
  void SetBoxText(int id, const std::string& text);
  void ClearMarksAndStatus();
  void StartJob(const JobWorker& worker, std::string dataPath);
  // The marks of the result of the job that ended; the timer showed them as the phases ended,
  // and the result settles them.
  void ShowResultMarks(const JobResult& result);
  void FollowClose();
  void ForceEnd();
  void LogLine(const std::string& line);
  bool CanOpenForRead(const std::string& path) const;

  Platform& platform_;
  DialogView& view_;
  Prompt& prompt_;
  JobWorkers workers_;
  CLogToFile log_{platform_};
  JobContext job_;
  // The start values each job's request is made from.
  RunFolders folders_;
  std::string packagePath_;  // the package box's text
  std::string cardPath_;     // the card path box's text, a mapped drive's folder as its letter
  AdvancedSettings settings_;
  PackageVersions versions_;  // as the last package chosen gave them
  DisplayMode displayMode_ = DisplayMode::kNoJob;
  int timerId_ = 0;
  CDirTreeCtrl tree_;
  JobSession session_{platform_, job_, "window"};
  bool jobActive_ = false;
  bool closing_ = false;
  bool drivesChanged_ = false;  // a change heard during a job, applied at its end
  bool updatingDrives_ = false;  // a drive item taken out moves the selection: not a choice
  int closeTicks_ = 0;
  // The package path whose version block the dialog read last (GetFWPVerRev).
  std::string versionsReadFor_;
  std::function<void()> endProcess_;

  // The window's own thread never waits on past the log's quiet wait (the window must stay
  // live); the job's worker waits as RunLockWait says, its status showing the wait.
  class WindowLockWait : public RunLockWait {
   public:
    using RunLockWait::RunLockWait;
    bool KeepWaiting() override {
      return std::this_thread::get_id() != windowThread_ && RunLockWait::KeepWaiting();
    }

   private:
    std::thread::id windowThread_ = std::this_thread::get_id();
  };
  WindowLockWait lockWait_{job_};
};

}  // namespace cw
