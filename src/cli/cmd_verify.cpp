// `cardwright verify --card E: [--package FILE]`: the window's "Verify Only".
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/job_runner.h"
#include "cli/json_report.h"
#include "record/job_io.h"

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
    const JobResult result = RunJob(runner);
    if (JsonReport()) Report(runner, result);
    return ExitStatus(result);
  }

 private:
  JobResult RunJob(JobRunner& runner) {
    // The last package path is kept up to date as at every start, but verify only checks
    // against the package it is given.
    runner.Start();
    if (package_) runner.ChoosePackage(*package_);
    runner.SetCard(card_);

    runner.job().log->Log("OnVerify");
    const VerifyRequest request{.cardPath = runner.cardPath(),
                                .packagePath = package_.value_or(""),
                                .dataPath = runner.dataPath(),
                                .target = runner.detectedTarget()};
    if (!CheckVerifyRequest(runner.platform(), runner.job(), request))
      return JobResult{.kind = JobKind::kVerifyOnly, .outcome = JobOutcome::kRefused};
    const JobResult result = runner.Run(request);
    runner.Finish(result);
    return result;
  }

  void Report(JobRunner& runner, const JobResult& result) const {
    std::optional<std::string> package;
    if (package_) package = runner.platform().DisplayPath(*package_);
    PrintJson(
        JobReport(Name(), runner.job(), runner.cardPath(), result, runner.Messages(), package));
  }
  std::string card_;
  std::optional<std::string> package_;
};

CARDWRIGHT_COMMAND(VerifyCommand);

}  // namespace
}  // namespace cw::cli
