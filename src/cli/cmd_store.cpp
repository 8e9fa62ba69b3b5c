// `cardwright store --card E: [--package FILE] [--yes] [--panel-model 3940|3950]
// [--target engine|panel] [--no-backup] [--restore-only [--backup NAME [--other-card]]]
// [--keep-backups N]`: the window's "Store and Verify", with the "Advanced Settings" choices as
// options.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/job_runner.h"
#include "cli/json_report.h"
#include "record/job_io.h"

namespace cw::cli {
namespace {

class StoreCommand : public Command {
 public:
  const char* Name() const override { return "store"; }
  const char* Description() const override {
    return "Back up a card, store a package on it and verify it (restore the backup on failure)";
  }
  void Define(CLI::App& sub) override {
    sub.add_option("--card", card_, "The card: a drive letter (E:) or a mapped drive's folder")
        ->required();
    sub.add_option("--package", package_, "The package to store; without it the last package used");
    sub.add_flag("--yes", yes_, "Answer OK to \"All files will be replaced with new ones.\"");
    sub.add_option("--panel-model", panelModel_, "The panel model when the card does not tell it")
        ->check(CLI::IsMember({3940, 3950}));
    sub.add_option("--target", target_, "Target CF: the kind of files to place")
        ->check(CLI::IsMember({"engine", "panel"}));
    sub.add_flag("--no-backup", noBackup_, "Clear \"Create Backup\"");
    CLI::Option* restoreOnly = sub.add_flag(
        "--restore-only", restoreOnly_, "\"Restore Only\": put the last backup back and verify it");
    sub.add_option("--backup", backup_,
                   "With --restore-only: the backup to put back, by its name in `cardwright "
                   "backups` (else the latest of the card's kind)")
        ->needs(restoreOnly);
    sub.add_flag("--other-card", otherCard_,
                 "With --backup: put back a backup taken from another card (its serial differs)")
        ->needs(restoreOnly);
    sub.add_option("--keep-backups", keepBackups_,
                   "How many earlier backups of each kind to keep (default: the data folder's "
                   "BackupsKept.txt, else 5; 0 keeps none)")
        ->check(CLI::Range(0, 1000));
    DefineJson(sub);
  }

  int Run(Platform& platform) override {
    JobRunner runner(platform, PromptAnswers{.yes = yes_, .panelModel = panelModel_}, JsonReport());
    const JobResult result = RunJob(runner);
    if (JsonReport()) Report(runner, result);
    return ExitStatus(result);
  }

 private:
  JobResult RunJob(JobRunner& runner) {
    const std::optional<LastPath> last = runner.Start();
    // The package box: a chosen package, else what start-up put there.
    if (package_) {
      runner.ChoosePackage(*package_);
    } else if (last) {
      runner.UseLastPath(*last);
    }
    runner.SetCard(card_);

    // "Advanced Settings", opened after the card path was typed.
    TargetChoice target = runner.detectedTarget();
    if (target_) target = *target_ == "engine" ? TargetChoice::kEngine : TargetChoice::kPanel;
    const StoreRequest request{
        .cardPath = runner.cardPath(),
        .packagePath = runner.packagePath(),
        .dataPath = runner.dataPath(),
        .target = target,
        .backup = {.skip = noBackup_ || restoreOnly_,
                   .restoreOnly = restoreOnly_,
                   .kept = keepBackups_.value_or(-1),
                   .restoreName = backup_.value_or(""),
                   .otherCard = otherCard_ ? OtherCardBackup::kAllow : OtherCardBackup::kRefuse}};

    if (!CheckStoreRequest(runner.platform(), runner.job(), request)) {
      return JobResult{.kind = restoreOnly_ ? JobKind::kRestoreOnly : JobKind::kStore,
                       .outcome = JobOutcome::kRefused};
    }
    const JobResult result = runner.Run(request);
    runner.Finish(result);
    // A restore-only run with an empty backup folder put nothing back: it has not succeeded.
    if (result.nothingToRestore)
      std::fprintf(stderr, "Nothing was restored: the backup folder holds no files.\n");
    return result;
  }

  void Report(JobRunner& runner, const JobResult& result) const {
    std::optional<std::string> package;
    if (!runner.packagePath().empty())
      package = runner.platform().DisplayPath(runner.packagePath());
    Json report =
        JobReport(Name(), runner.job(), runner.cardPath(), result, runner.Messages(), package);
    report["restore_only"] = restoreOnly_;
    PrintJson(report);
  }

  std::string card_;
  std::optional<std::string> package_;
  bool yes_ = false;
  std::optional<int> panelModel_;
  std::optional<std::string> target_;
  bool noBackup_ = false;
  bool restoreOnly_ = false;
  std::optional<std::string> backup_;
  bool otherCard_ = false;
  std::optional<int> keepBackups_;
};

CARDWRIGHT_COMMAND(StoreCommand);

}  // namespace
}  // namespace cw::cli
