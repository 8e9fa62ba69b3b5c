// `cardwright verify --card E: [--package FILE]`: the window's "Verify Only".
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/job_runner.h"
#include "job/job_io.h"
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
  }

  int Run() override {
    JobRunner runner(PromptAnswers{});
    // The last package path is kept up to date as at every start, but verify only checks
    // against the package it is given.
    runner.Start();
    if (package_) runner.ChoosePackage(*package_);
    runner.SetCard(card_);

    JobContext& job = runner.job();
    job.log->Log("OnVerify");
    job.fwpPath = package_.value_or("");
    if (!CheckVerifyRequest(job)) return kExitFailed;
    PrepareVerifyJob(job);
    const int result = runner.Run(VerifyOnly);
    runner.Finish(result);
    // A stop request that came after the job's last stop point leaves the job's own result.
    if (result == kExitStopped) return kExitInterrupted;
    return result == kVerifyPassed ? kExitOk : kExitFailed;
  }

 private:
  std::string card_;
  std::optional<std::string> package_;
};

CARDWRIGHT_COMMAND(VerifyCommand);

}  // namespace
}  // namespace cw::cli
