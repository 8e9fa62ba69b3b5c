#pragma once
// What `store` and `verify` share: the run's start-up as the window's, the card path and the
// package as the window's boxes take them, one job on a worker thread with its progress on the
// terminal, Ctrl-C as the window's close, and the transcript saved when the job ends.

#include <optional>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/terminal_progress.h"
#include "cli/terminal_prompt.h"
#include "session/front_end.h"
#include "session/job_session.h"
#include "record/job_context.h"
#include "record/job_result.h"
#include "log/log_to_file.h"

namespace cw::cli {

class JobRunner {
 public:
  // `jsonReport`: standard output carries only the run's JSON report, so status lines and
  // progress go to standard error.
  // The run works on `platform`, which outlives it.
  JobRunner(Platform& platform, PromptAnswers answers, bool jsonReport = false);
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;

  Platform& platform() { return platform_; }
  JobContext& job() { return job_; }
  // The start values as the run's start-up, --package and --card left them.
  const std::string& dataPath() const { return folders_.dataPath; }
  const std::string& packagePath() const { return packagePath_; }
  const std::string& cardPath() const { return cardPath_; }
  // The card's kind as the card detection told it (none when it told nothing).
  TargetChoice detectedTarget() const { return detectedTarget_; }

  // Start-up: the data folder, the log and its start-up lines, and the last package path
  // refreshed and read. The last path is only returned; UseLastPath puts it into use.
  std::optional<LastPath> Start();

  // The package box's text as start-up leaves it: a path from "LastPathUsed.txt" has its
  // version block read before it fills the box, a path found by searching after.
  void UseLastPath(const LastPath& last);
  // --package: read as "Browse..." reads a chosen package, version block included.
  void ChoosePackage(const std::string& path);
  // --card: a drive letter ("E:") or the host folder of a mapped drive; runs the card
  // detection that typing the card path runs. The detected card is shown as a status line.
  void SetCard(const std::string& text);

  // Runs the job of `request` on its own thread until it ends, showing progress. Ctrl-C (also
  // SIGTERM, Ctrl-Break) asks the job to stop at its next file; a second one also stops a
  // restore; a third ends the program at once. On Windows the console's close, a sign-out and a
  // shutdown ask as the first Ctrl-C does, within the few seconds Windows grants (EndOfConsole).
  // Returns the job's result.
  JobResult Run(const StoreRequest& request);
  JobResult Run(const VerifyRequest& request);
  // True when a stop was asked during Run.
  bool Interrupted() const { return interrupted_; }
  // The message boxes the run showed, in order.
  std::vector<std::string> Messages() const { return prompt_.Messages(); }
  // Ends as the window does when it sees the job end: the transcript is saved (standard error
  // says when it could not be), and how a stopped job left the card is said.
  void Finish(const JobResult& result);

 private:
  JobResult Run(JobWorker worker, std::string dataPath);
  void SetPackageBox(const std::string& text);
  void ShowStatusLine(const std::string& text);
  // Without a terminal, each new status of the job is a line of its own; the caller holds the
  // output lock.
  void PrintStatus(const std::string& text);
  void DrawProgress(bool final);
  void ClearProgressLine();
  void SayStopping(int32_t requests);
  void SayHowToFinishRestore();
  // Windows is ending the console run (`what` says how): the job is asked to stop, the stop is
  // logged with where the job was, how to finish a restore is said, and the transcript is
  // saved; then the job is given what is left of Windows' grace, and the transcript saved
  // again. Runs on Windows' own thread; the program ends when it returns.
  void EndOfConsole(const char* what);
  // A third request: the program ends now, whatever the job is doing, saying how to finish a
  // restore the job may have begun.
  [[noreturn]] void EndAtOnce();
  static constexpr int32_t kEndAtOnceRequests = 3;

  // A long wait for the log's lock is also said on standard error, before and during a job
  // (before one, Ctrl-C ends the program as it always does).
  class TerminalLockWait : public RunLockWait {
   public:
    explicit TerminalLockWait(JobRunner& runner) : RunLockWait(runner.job_), runner_(runner) {}
    void Waiting(bool waiting) override;

   private:
    JobRunner& runner_;
  };

  // The job's status changes, told on its thread.
  class StatusEvents : public SessionEvents {
   public:
    explicit StatusEvents(JobRunner& runner) : runner_(runner) {}
    void StatusChanged(const std::string& text) override;

   private:
    JobRunner& runner_;
  };

  Platform& platform_;
  std::FILE* out_;  // status lines and progress
  JobContext job_;
  RunFolders folders_;
  std::string packagePath_;  // the package box's text
  std::string cardPath_;     // the card path box's text
  TargetChoice detectedTarget_ = TargetChoice::kNone;
  PackageVersions versions_;  // the version block read from the chosen package
  CLogToFile log_{platform_};
  TerminalPrompt prompt_;
  bool progressOnTerminal_ = false;
  TerminalProgress terminal_;
  std::string lastStatus_;  // the last status line written when the output is no terminal
  bool interrupted_ = false;
  TerminalLockWait lockWait_{*this};
  StatusEvents events_{*this};
  JobSession session_{platform_, job_, "command_line"};
};

}  // namespace cw::cli
