#include "cli/job_runner.h"

#include <unistd.h>

#include <chrono>
#include <iterator>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "cli/command.h"
#include "platform/console_end.h"
#include "record/job_io.h"
#include "job/jobs.h"
#include "job/read_version_block.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

// How long an announced end of the console run waits for the job: Windows ends the program
// about 5 s after the announcement, and the transcript is saved within what is left.
constexpr auto kConsoleEndGrace = std::chrono::milliseconds(4000);

// Where a running job is, in the words of the log's stop lines.
const char* JobStage(const JobSession& session) {
  const auto running = [&session](JobPhase phase) {
    return session.Phase(phase) == kPhaseRunning;
  };
  if (running(JobPhase::kRestoreVerify)) return "verifying the restored card";
  if (running(JobPhase::kRestore)) return "putting the card's backup back";
  if (running(JobPhase::kVerify) || running(JobPhase::kVerifyOnly)) return "verifying the card";
  if (running(JobPhase::kStore)) return "storing the package's files";
  if (session.MustOutwaitClose()) return "after the card began to change";
  return "preparing (the card is unchanged)";
}

// Ctrl-C, Ctrl-Break and SIGTERM requests, counted: the first asks the job to stop, the second
// also stops a restore, the third ends the program at once. The handler stays installed (Windows resets a handler to the default
// before calling it, so it installs itself again); std::signal, not sigaction: Windows has only
// the former.
volatile sig_atomic_t stopSignals = 0;

constexpr int kStopSignals[] = {
    SIGINT, SIGTERM,
#ifdef SIGBREAK
    SIGBREAK,
#endif
};

void OnStopSignal(int signal) {
  std::signal(signal, OnStopSignal);
  if (stopSignals < 100) stopSignals = stopSignals + 1;
}

class StopSignalScope {
 public:
  StopSignalScope() {
    stopSignals = 0;
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
      previous_[i] = std::signal(kStopSignals[i], OnStopSignal);
  }
  ~StopSignalScope() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
      std::signal(kStopSignals[i], previous_[i] == SIG_ERR ? SIG_DFL : previous_[i]);
  }

 private:
  void (*previous_[std::size(kStopSignals)])(int) = {};
};

}  // namespace

JobRunner::JobRunner(Platform& platform, PromptAnswers answers, bool jsonReport)
    : platform_(platform),
      out_(jsonReport ? stderr : stdout),
      prompt_(answers, IsTerminal(STDIN_FILENO)),
      progressOnTerminal_(IsTerminal(jsonReport ? STDERR_FILENO : STDOUT_FILENO)),
      terminal_(TerminalColumns(jsonReport ? STDERR_FILENO : STDOUT_FILENO)) {
  job_.log = &log_;
  job_.prompt = &prompt_;
  log_.SetLockWait(&lockWait_);
  // Runs under the prompt's output lock, the same lock DrawProgress holds.
  prompt_.SetBeforeOutput([this] { ClearProgressLine(); });
  prompt_.SetStopCheck([this] { return job_.stopRequested != 0; });
}

std::optional<LastPath> JobRunner::Start() {
  folders_ = StartRun(platform_, job_, log_);
  return ResolveLastPath(platform_, job_, folders_);
}

void JobRunner::SetPackageBox(const std::string& text) {
  // What the package box's change handler does with every new text.
  log_.Log("OnChangeEditCrcDataFile");
  packagePath_ = text;
  log_.Log(Format("  fwp file changed to %s", platform_.DisplayPath(packagePath_).c_str()));
}

void JobRunner::UseLastPath(const LastPath& last) {
  if (last.fromFile) {
    ReadVersionBlock(platform_, last.path, job_, versions_, "", "");
    SetPackageBox(last.path);
  } else {
    SetPackageBox(last.path);
    ReadVersionBlock(platform_, last.path, job_, versions_, "", "");
  }
}

void JobRunner::ChoosePackage(const std::string& path) {
  log_.Log("OnBrowseCrcFile: locating fwp.");
  SetPackageBox(path);
  log_.Log(Format("  using %s", platform_.DisplayPath(path).c_str()));
  const VersionTexts texts = ReadVersionBlock(platform_, path, job_, versions_, "", "");
  if (!texts.engineText.empty()) ShowStatusLine(texts.engineText);
  if (!texts.panelText.empty()) ShowStatusLine(texts.panelText);
}

void JobRunner::SetCard(const std::string& text) {
  cardPath_ = CardPathOfHostFolder(platform_, text);
  if (std::optional<DetectedCard> card = DetectCardTarget(platform_, job_, cardPath_)) {
    detectedTarget_ = card->target;
    ShowStatusLine(card->status);
  }
}

void JobRunner::ShowStatusLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(prompt_.OutputLock());
  ClearProgressLine();
  std::fprintf(out_, "%s\n", OneLine(text).c_str());
  std::fflush(out_);
}

void JobRunner::ClearProgressLine() {
  if (!progressOnTerminal_) return;
  std::fputs(terminal_.Clear().c_str(), out_);
  std::fflush(out_);
}

void JobRunner::PrintStatus(const std::string& text) {
  const std::string status = OneLine(text);
  if (status != lastStatus_ && !status.empty()) {
    std::fprintf(out_, "%s\n", status.c_str());
    std::fflush(out_);
  }
  lastStatus_ = status;
}

void JobRunner::StatusEvents::StatusChanged(const std::string& text) {
  if (runner_.progressOnTerminal_) return;  // the line in place shows it when it is next drawn
  std::lock_guard<std::mutex> lock(runner_.prompt_.OutputLock());
  runner_.PrintStatus(text);
}

void JobRunner::DrawProgress(bool final) {
  // A message or a question on the terminal has the screen; the next draw comes soon.
  std::unique_lock<std::mutex> lock(prompt_.OutputLock(), std::defer_lock);
  if (final) {
    lock.lock();
  } else if (!lock.try_lock()) {
    return;
  }

  if (!progressOnTerminal_) {
    PrintStatus(job_.statusText.Get());
    return;
  }
  const std::string text = terminal_.Update(job_, TerminalProgress::Clock::now(), final);
  if (text.empty()) return;
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
}

JobResult JobRunner::Run(const StoreRequest& request) {
  PrepareStoreJob(job_);
  return Run(
      [this, request](JobContext* job) { return DownloadAndVerify(platform_, job, request); },
      request.dataPath);
}

JobResult JobRunner::Run(const VerifyRequest& request) {
  PrepareVerifyJob(job_);
  return Run([this, request](JobContext* job) { return VerifyOnly(platform_, job, request); },
             request.dataPath);
}

JobResult JobRunner::Run(JobWorker worker, std::string dataPath) {
  StopSignalScope signals;
  ConsoleEndWatch consoleEnd([this](const char* what) { EndOfConsole(what); });
  int32_t requests = 0;
  terminal_.Begin(job_);
  session_.Start(std::move(worker), &events_, std::move(dataPath));
  // Woken at once by the job's end; between, once per redraw the line allows, to hear a Ctrl-C.
  while (!session_.WaitForEnd(std::chrono::duration_cast<std::chrono::milliseconds>(
      TerminalProgress::kMinInterval))) {
    if (stopSignals > requests) {
      requests = stopSignals;
      interrupted_ = true;
      if (requests >= kEndAtOnceRequests) EndAtOnce();
      session_.RequestStop(requests);
      SayStopping(requests);
    }
    DrawProgress(false);
  }
  const JobResult result = session_.Join().value_or(JobResult{});
  if (stopSignals > 0) interrupted_ = true;
  DrawProgress(true);
  return result;
}

void JobRunner::EndOfConsole(const char* what) {
  // As a first Ctrl-C: the job stops at its next file and puts a changed card back.
  if (stopSignals == 0) stopSignals = 1;
  session_.RequestStop(1);
  log_.Log(Format("  %s while the job was %s: the job was asked to stop.", what,
                  JobStage(session_)));
  {
    std::lock_guard<std::mutex> lock(prompt_.OutputLock());
    ClearProgressLine();
    std::fprintf(stderr, "Stopping: %s.\n", what);
    if (session_.MustOutwaitClose()) SayHowToFinishRestore();
    std::fflush(stderr);
  }
  StoreDiagnostics(platform_, job_, folders_.dataPath);

  // Windows' grace: the stop, and the restore of a changed card, may end within it.
  if (!session_.WaitForEnd(kConsoleEndGrace)) {
    log_.Log(Format("  the program ends with the job still %s.", JobStage(session_)));
  } else {
    log_.Log(Format("  the job ended before the program: %s",
                    job_.statusText.Get().c_str()));
  }
  StoreDiagnostics(platform_, job_, folders_.dataPath);
}

void JobRunner::TerminalLockWait::Waiting(bool waiting) {
  RunLockWait::Waiting(waiting);
  if (!waiting) return;
  std::lock_guard<std::mutex> lock(runner_.prompt_.OutputLock());
  runner_.ClearProgressLine();
  std::fprintf(stderr, "%s\n", kLockWaitStatus);
  std::fflush(stderr);
}

void JobRunner::SayStopping(int32_t requests) {
  std::lock_guard<std::mutex> lock(prompt_.OutputLock());
  ClearProgressLine();
  if (session_.Phase(JobPhase::kRestore) == kPhaseRunning && requests == 1) {
    std::fputs("Stopping: the card's backup is being put back first. Press Ctrl-C again to "
               "stop the restore (the card is not usable until it is restored).\n",
               stderr);
  } else if (requests == 1) {
    std::fputs("Stopping: the job stops at its next file.\n", stderr);
  } else if (requests == 2) {
    std::fputs("Stopping the restore.\n", stderr);
  }
  std::fflush(stderr);
}

void JobRunner::SayHowToFinishRestore() {
  std::fprintf(stderr, "To finish the restore later: cardwright store --card %s --restore-only\n",
               cardPath_.c_str());
}

void JobRunner::EndAtOnce() {
  {
    std::lock_guard<std::mutex> lock(prompt_.OutputLock());
    ClearProgressLine();
    std::fputs("Ending now, without waiting for the job.\n", stderr);
    if (session_.MustOutwaitClose()) SayHowToFinishRestore();
    std::fflush(stderr);
  }
  std::_Exit(kExitInterrupted);
}

void JobRunner::Finish(const JobResult& result) {
  // The session saved the transcript as the job ended.
  if (!session_.TranscriptSaved()) {
    std::fprintf(stderr, "The transcript could not be saved: %s\n",
                 platform_.DisplayPath(folders_.dataPath + kDiagnosticsFileName).c_str());
  }
  if (const std::string journal = session_.JournalProblem(); !journal.empty())
    std::fprintf(stderr, "%s\n", journal.c_str());
  if (result.stop != kNotStopped) {
    // The stop's own announcement, as the window's status line shows it (a stopped restore also
    // says how many files were back).
    std::fprintf(stderr, "%s\n", job_.statusText.Get().c_str());
    if (result.stop == kStoppedRestoreCut) SayHowToFinishRestore();
  } else if (interrupted_ && result.outcome != JobOutcome::kStopped &&
             result.outcome != JobOutcome::kCardReplaced) {
    std::fputs("The job had passed its last stop point and ran to its end.\n", stderr);
  }
  std::fflush(stderr);
}

}  // namespace cw::cli
