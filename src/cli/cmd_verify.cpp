// `cardwright verify --card E: [--package FILE]`: the window's "Verify Only".
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/job_runner.h"
#include "cli/json_report.h"
#include "record/job_io.h"
#include "job/jobs.h"
#include "verify/verify.h"

namespace cw::cli {
namespace {

class VerifyCommand : public Command {
 public:
  const char* Name() const override { return "verify"; }
  const char* Description() const override {
    return "Verify a card against a package, or against the reference the card carries";
  }
  void Define(CLI::App& sub) override {
    sub.add_option("--card", card_, "The card: a drive letter (E:) or a mapped drive's folder")
        ->required();
    sub.add_option("--package", package_,
                   "The package to verify against; without it the card's own stored copy "
                   "(Engine) or CRC list (Panel)");
    DefineJson(sub);
  }

  int Run(Platform& platform) override {
    JobRunner runner(platform, PromptAnswers{}, JsonReport());
    const int status = RunJob(runner);
    if (JsonReport()) Report(runner, status);
    return status;
  }

 private:
  int RunJob(JobRunner& runner) {
    // The last package path is kept up to date as at every start, but verify only checks
    // against the package it is given.
    runner.Start();
    if (package_) runner.ChoosePackage(*package_);
    runner.SetCard(card_);

    JobContext& job = runner.job();
    job.log->Log("OnVerify");
    job.fwpPath = package_.value_or("");
    if (!CheckVerifyRequest(runner.platform(), job)) {
      refused_ = true;
      return kExitFailed;
    }
    PrepareVerifyJob(job);
    const int result = runner.Run(VerifyOnly);
    runner.Finish(result);
    // A stop request that came after the job's last stop point leaves the job's own result.
    if (result == kExitStopped) return kExitInterrupted;
    return result == kVerifyPassed ? kExitOk : kExitFailed;
  }

  // A run that never came to read the card's files (drive, card or reference refused) is a
  // refusal; one that read them and found a fault has failed.
  void Report(JobRunner& runner, int status) const {
    const JobContext& job = runner.job();
    const bool refused = refused_ || job.verifyOnlyState != kPhaseDone;
    PrintJson(JobReport(Name(), job, status, refused, runner.Messages(), package_));
  }

  bool refused_ = false;
  std::string card_;
  std::optional<std::string> package_;
};

CARDWRIGHT_COMMAND(VerifyCommand);

}  // namespace
}  // namespace cw::cli
