#include "ui/cardwright_dlg.h"

#include <chrono>
#include <cstdlib>
#include <optional>

#include "session/front_end.h"
#include "record/job_io.h"
#include "platform/platform.h"
#include "ui/package_versions.h"

namespace cw {
namespace {

constexpr int kCloseWaitTicks = 500;  // 500 times 20 ms: the 10 s a closing window waits
constexpr std::chrono::milliseconds kCloseWait{10000};
// The exit status of a program ended because its job would not stop.
constexpr int kForcedEndStatus = 3;
constexpr const char* kStoppingStatus = "Stopping the job; the window closes when it has ended.";
constexpr const char* kStopQuestion =
    "A job is running. Stop it and close the window?\r\n"
    "A card that has begun to change is put back first.";

}  // namespace

JobWorkers::JobWorkers(Store storeWorker, Verify verifyWorker)
    : store(std::move(storeWorker)), verify(std::move(verifyWorker)) {}

JobWorkers::JobWorkers(JobWorker storeWorker, JobWorker verifyWorker)
    : store([worker = std::move(storeWorker)](JobContext* job, const StoreRequest&) {
        return worker(job);
      }),
      verify([worker = std::move(verifyWorker)](JobContext* job, const VerifyRequest&) {
        return worker(job);
      }) {}

CCardwrightDlg::CCardwrightDlg(Platform& platform, DialogView& view, TreeView& treeView,
                               Prompt& prompt, JobWorkers workers)
    : platform_(platform),
      view_(view),
      prompt_(prompt),
      workers_(std::move(workers)),
      tree_(platform, treeView) {
  job_.log = &log_;
  job_.prompt = &prompt_;
  log_.SetLockWait(&lockWait_);
  // Ending the process is the only safe end while a worker still uses the job: nothing is
  // freed under it, and no destructor runs.
  endProcess_ = [] { std::_Exit(kForcedEndStatus); };
}

CCardwrightDlg::~CCardwrightDlg() {
  if (!session_.Running()) return;
  session_.Close();
  // A card that may have changed is put back first, however long that takes, whatever tore
  // the window down: ending the program under the restore would leave the card half-written.
  const bool ended = session_.WaitToClose(kCloseWait, [this] {
    LogLine("  the window was torn down while the card may have changed: waiting for the job.");
  });
  if (!ended) ForceEnd();
  // Only a test's endProcess returns; its worker has ended or ends now, and the session reaps it.
}

bool CCardwrightDlg::OnInitDialog() {
  folders_ = StartRun(platform_, job_, log_);
  tree_.ShowTree("", false);
  if (std::optional<LastPath> last = ResolveLastPath(platform_, job_, folders_)) {
    if (last->fromFile) {
      GetFWPVerRev(last->path);
      SetBoxText(kIdPackageBox, platform_.DisplayPath(last->path));
    } else {
      SetBoxText(kIdPackageBox, platform_.DisplayPath(last->path));
      GetFWPVerRev(last->path);
    }
  }
  job_.jobRunning = 0;
  ShowPassMark1(false);
  view_.SetTitle(Format(kWindowTitleFormat, kProgramVersion / 1000.0));
  timerId_ = 0;
  displayMode_ = DisplayMode::kNoJob;
  settings_ = AdvancedSettings{};
  return true;
}

void CCardwrightDlg::OnDownloadAndVerify() {
  if (jobActive_) return;  // the button is disabled; Enter must not start a second job
  ClearMarksAndStatus();
  displayMode_ = DisplayMode::kPreparation;
  job_.prepState = kPhaseRunning;
  job_.storeState = kPhaseIdle;
  job_.verifyOnlyState = kPhaseIdle;
  job_.verifyState = kPhaseIdle;
  job_.restoreState = kPhaseIdle;
  job_.restoreVerifyState = kPhaseIdle;
  packagePath_ = view_.GetText(kIdPackageBox);
  cardPath_ = CardPathOfHostFolder(platform_, view_.GetText(kIdCardBox));
  // A path typed into the box has not had its version block read: the version boxes show the
  // package being stored, not the last one chosen. (The job reads its package's versions
  // itself; a path that does not open is refused by its own checks.)
  if (packagePath_ != versionsReadFor_ && CanOpenForRead(packagePath_)) {
    LogLine("  the package path was typed: reading its version block.");
    versions_ = PackageVersions{};
    GetFWPVerRev(packagePath_);
  }
  const StoreRequest request{
      .cardPath = cardPath_,
      .packagePath = packagePath_,
      .dataPath = folders_.dataPath,
      .target = settings_.target,
      .backup = {.skip = settings_.skipBackup,
                 .restoreOnly = settings_.restoreOnly,
                 .kept = -1,
                 .restoreName = "",
                 .otherCard = OtherCardBackup::kAsk}};
  if (!CheckStoreRequest(platform_, job_, request)) return;
  PrepareStoreJob(job_);
  StartJob([store = workers_.store, request](JobContext* job) { return store(job, request); },
           request.dataPath);
}

void CCardwrightDlg::OnVerify() {
  LogLine("OnVerify");
  if (jobActive_) return;
  ClearMarksAndStatus();
  displayMode_ = DisplayMode::kVerifyOnly;
  job_.verifyOnlyState = kPhaseRunning;
  job_.prepState = kPhaseIdle;
  job_.storeState = kPhaseIdle;
  job_.verifyState = kPhaseIdle;
  job_.restoreState = kPhaseIdle;
  job_.restoreVerifyState = kPhaseIdle;
  packagePath_ = view_.GetText(kIdPackageBox);
  cardPath_ = CardPathOfHostFolder(platform_, view_.GetText(kIdCardBox));
  const VerifyRequest request{.cardPath = cardPath_,
                              .packagePath = packagePath_,
                              .dataPath = folders_.dataPath,
                              .target = settings_.target};
  if (!CheckVerifyRequest(platform_, job_, request)) return;
  PrepareVerifyJob(job_);
  StartJob([verify = workers_.verify, request](JobContext* job) { return verify(job, request); },
           request.dataPath);
}

void CCardwrightDlg::OnTimer() {
  if (job_.progressRangeChanged) {
    // The bar takes 16-bit bounds.
    view_.SetProgressRange(static_cast<uint16_t>(job_.progressMin),
                           static_cast<uint16_t>(job_.progressMax));
    job_.progressRangeChanged = 0;
  }
  view_.SetProgressPos(job_.progressPos);

  const DisplayMode mode = displayMode_;
  const bool restoring = mode == DisplayMode::kRestore || mode == DisplayMode::kRestoreVerification;
  view_.SetText(restoring ? kIdStatus2 : kIdStatus1, job_.statusText.Get());
  switch (mode) {
    case DisplayMode::kPreparation:
      if (job_.prepState == kPhaseFailed) {
        ShowFailMarks1(true);
        displayMode_ = DisplayMode::kRestore;
      } else if (job_.prepState == kPhaseDone) {
        displayMode_ = settings_.restoreOnly ? DisplayMode::kRestore : DisplayMode::kStore;
      }
      break;
    case DisplayMode::kStore:
      if (job_.storeState == kPhaseFailed) {
        ShowFailMarks1(true);
        displayMode_ = DisplayMode::kRestore;
      } else if (job_.storeState == kPhaseDone) {
        displayMode_ = DisplayMode::kVerification;
      }
      break;
    case DisplayMode::kVerifyOnly:
      // A failed card check shows no mark: the job's own message explains it.
      if (job_.verifyOnlyState == kPhaseDone) displayMode_ = DisplayMode::kVerification;
      break;
    case DisplayMode::kVerification:
      if (job_.verifyState == kPhaseFailed) {
        ShowFailMarks1(true);
        displayMode_ = DisplayMode::kRestore;
      } else if (job_.verifyState == kPhaseDone) {
        ShowPassMark1(true);
      }
      break;
    case DisplayMode::kRestore:
      if (job_.restoreState == kPhaseFailed)
        ShowFailMarks2(true);
      else if (job_.restoreState == kPhaseDone)
        displayMode_ = DisplayMode::kRestoreVerification;
      break;
    case DisplayMode::kRestoreVerification:
      if (job_.restoreVerifyState == kPhaseFailed)
        ShowFailMarks2(true);
      else if (job_.restoreVerifyState == kPhaseDone)
        ShowPassMark2(true);
      break;
    default:
      break;
  }

  if (job_.jobRunning == 0) {
    if (timerId_ != 0) view_.KillTimer(timerId_);
    timerId_ = 0;
    // The worker's last act was clearing jobRunning; reap it before the next job may start.
    // The session saved the transcript as the job ended; a job it did not run is saved here.
    if (std::optional<JobResult> result = session_.Join()) {
      ShowResultMarks(*result);
      if (const std::string journal = session_.JournalProblem(); !journal.empty())
        prompt_.MessageBox(journal, MessageButtons::Ok, MessageIcon::Warning);
    } else {
      StoreDiagnostics(platform_, job_, folders_.dataPath);
    }
    jobActive_ = false;
    EnableInputs(true);
    if (drivesChanged_ && !closing_) OnDrivesChanged();
    if (closing_) {
      LogLine("  the job has ended; the window closes.");
      view_.CloseWindow();
    }
  } else if (closing_) {
    FollowClose();
  }
}

void CCardwrightDlg::OnBrowseCrcFile() {
  LogLine("OnBrowseCrcFile: locating fwp.");
  if (!packagePath_.empty() && !CanOpenForRead(packagePath_)) {
    // Host paths (from the file dialog) use '/', the program's own (Windows) paths '\'.
    const size_t slash = packagePath_.find_last_of("\\/");
    if (slash == std::string::npos) {
      prompt_.MessageBox("FWP Filename in edit box is not valid.", MessageButtons::Ok,
                         MessageIcon::None);
      return;
    }
    // Opens the dialog in that folder, showing package files.
    packagePath_ = packagePath_.substr(0, slash + 1) + "*.FWP";
  }
  const std::string initial =
      packagePath_.empty() ? std::string() : platform_.ToHostPath(packagePath_);
  const std::optional<std::string> chosen = view_.ChooseFile("Select FWP Data File", initial);
  if (!chosen) return;
  packagePath_ = *chosen;
  SetBoxText(kIdPackageBox, *chosen);
  LogLine(Format("  using %s", chosen->c_str()));
  GetFWPVerRev(*chosen);
}

void CCardwrightDlg::OnChangeEditCrcDataFile() {
  LogLine("OnChangeEditCrcDataFile");
  packagePath_ = view_.GetText(kIdPackageBox);
  LogLine(Format("  fwp file changed to %s", platform_.DisplayPath(packagePath_).c_str()));
}

void CCardwrightDlg::OnChangeEditCompactFlash() {
  // The running job's card and target stay as its request gave them.
  if (jobActive_) return;
  cardPath_ = CardPathOfHostFolder(platform_, view_.GetText(kIdCardBox));
  if (std::optional<DetectedCard> card = DetectCardTarget(platform_, job_, cardPath_)) {
    settings_.target = card->target;
    view_.SetText(kIdStatus1, card->status);
  }
}

void CCardwrightDlg::OnSelchangedTree2(TreeView::Item selected) {
  LogLine("OnSelchangedTree2");
  // The tree stays live during a job, but its choice must not reach the running job.
  if (jobActive_ || updatingDrives_ || selected == nullptr) return;
  std::string path = tree_.ItemPath(selected);
  if (CanOpenForRead(path)) {
    const size_t slash = path.rfind('\\');
    if (slash != std::string::npos) path.resize(slash);
  }
  cardPath_ = path;
  SetBoxText(kIdCardBox, path);
}

void CCardwrightDlg::OnDrivesChanged() {
  if (jobActive_) {
    drivesChanged_ = true;
    return;
  }
  drivesChanged_ = false;
  updatingDrives_ = true;
  if (tree_.UpdateDrives()) LogLine("  the drives changed; the tree follows.");
  updatingDrives_ = false;
}

void CCardwrightDlg::PollDrives() {
  if (!jobActive_ && platform_.DrivesChanged()) OnDrivesChanged();
}

void CCardwrightDlg::OnAdvanced() {
  if (jobActive_) return;
  view_.RunAdvancedSettings(settings_);
  if (settings_.target == TargetChoice::kEngine)
    view_.SetText(kIdStatus1, kEngineCardStatus);
  else if (settings_.target == TargetChoice::kPanel)
    view_.SetText(kIdStatus1, kPanelCardStatus);
}

bool CCardwrightDlg::OnClose() {
  session_.RequestStop(1);
  if (!jobActive_) {
    if (timerId_ != 0) view_.KillTimer(timerId_);
    timerId_ = 0;
    return true;
  }
  if (!closing_) {
    closing_ = true;
    closeTicks_ = 0;
    LogLine("  the window is closing: the job was asked to stop.");
    session_.Close();
    if (timerId_ == 0) timerId_ = view_.StartTimer(kJobTimerId, kJobTimerPeriodMs);
    view_.SetText(kIdStatus1, kStoppingStatus);
  }
  return false;
}

bool CCardwrightDlg::OnEscape() {
  if (jobActive_ && !closing_ &&
      prompt_.MessageBox(kStopQuestion, MessageButtons::OkCancel, MessageIcon::Question) !=
          MessageResult::Ok) {
    return false;
  }
  return OnClose();
}

void CCardwrightDlg::ShowPassMark1(bool show) { view_.Show(kIdPassMark1, show); }

void CCardwrightDlg::ShowPassMark2(bool show) { view_.Show(kIdPassMark2, show); }

void CCardwrightDlg::ShowFailMarks1(bool show) {
  view_.Show(kIdFailMark1Left, show);
  view_.Show(kIdFailMark1Right, show);
}

void CCardwrightDlg::ShowFailMarks2(bool show) {
  view_.Show(kIdFailMark2Left, show);
  view_.Show(kIdFailMark2Right, show);
}

void CCardwrightDlg::EnableInputs(bool enable) {
  for (int id : {kIdBrowse, kIdStore, kIdVerify, kIdAdvanced, kIdPackageBox, kIdCardBox})
    view_.Enable(id, enable);
}

void CCardwrightDlg::GetFWPVerRev(const std::string& path) {
  versionsReadFor_ = path;
  const PackageVersionTexts texts = ReadPackageVersions(
      platform_, job_, versions_, path,
      {view_.GetText(kIdEngineVersion), view_.GetText(kIdPanelVersion)});
  view_.SetText(kIdEngineVersion, texts.engine);
  view_.SetText(kIdPanelVersion, texts.panel);
}

void CCardwrightDlg::SetBoxText(int id, const std::string& text) {
  view_.SetText(id, text);
  if (id == kIdPackageBox) OnChangeEditCrcDataFile();
  if (id == kIdCardBox) OnChangeEditCompactFlash();
}

void CCardwrightDlg::ClearMarksAndStatus() {
  ShowPassMark1(false);
  ShowFailMarks1(false);
  ShowPassMark2(false);
  ShowFailMarks2(false);
  view_.SetText(kIdStatus1, "");
  view_.SetText(kIdStatus2, "");
  job_.statusText.Set("");
}

void CCardwrightDlg::StartJob(const JobWorker& worker, std::string dataPath) {
  if (timerId_ == 0) timerId_ = view_.StartTimer(kJobTimerId, kJobTimerPeriodMs);
  EnableInputs(false);
  session_.Join();  // an ended job the timer has not reaped yet
  jobActive_ = true;
  session_.Start(worker, nullptr, std::move(dataPath));
}

// Shows the marks the result calls for; marks the timer showed stay (a test's worker may report
// through the phases alone).
void CCardwrightDlg::ShowResultMarks(const JobResult& result) {
  if (result.check == Verdict::kPassed) ShowPassMark1(true);
  if (result.check == Verdict::kFailed) ShowFailMarks1(true);
  if (result.restore == Verdict::kPassed) ShowPassMark2(true);
  if (result.restore == Verdict::kFailed) ShowFailMarks2(true);
}

// Each timer tick of a closing window whose job still runs.
void CCardwrightDlg::FollowClose() {
  view_.SetText(kIdStatus1, kStoppingStatus);
  view_.SetText(kIdStatus2, job_.statusText.Get());
  // A card that may have changed is put back before the program ends, however long it takes.
  if (session_.MustOutwaitClose()) return;
  if (++closeTicks_ < kCloseWaitTicks) return;
  ForceEnd();
}

void CCardwrightDlg::ForceEnd() {
  // The worker still uses the job and the log; freeing them under it would crash. The
  // program is closing anyway: end it here, with nothing torn down.
  LogLine("  the job did not stop within 10 s; ending the program.");
  StoreDiagnostics(platform_, job_, folders_.dataPath);
  endProcess_();
}

void CCardwrightDlg::LogLine(const std::string& line) { log_.Log(line); }

bool CCardwrightDlg::CanOpenForRead(const std::string& path) const {
  // A folder is not a file, though a POSIX open of it would succeed.
  const uint32_t attributes = platform_.GetFileAttributes(path);
  if (attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0) return false;
  return platform_.OpenFile(path, OpenMode::Read) != nullptr;
}

}  // namespace cw
