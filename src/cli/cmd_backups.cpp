// `cardwright backups [--json]`: the backups of each kind of card in the data folder, the
// latest first, each checked against its manifest.
#include <iostream>
#include <string>
#include <vector>

#include "backup/backup_history.h"
#include "cli/command.h"
#include "cli/job_runner.h"
#include "cli/json_report.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

const char* ManifestText(ManifestState state) {
  switch (state) {
    case ManifestState::kRead: return "present";
    case ManifestState::kDamaged: return "damaged";
    default: return "missing";
  }
}

// What a restore would make of the backup: "ok", "incomplete", "damaged: ...", "no manifest".
std::string Verdict(const BackupEntry& entry) {
  if (entry.incomplete) return "incomplete";
  if (entry.manifestState == ManifestState::kDamaged) return "damaged manifest";
  if (entry.manifestState == ManifestState::kMissing) return "no manifest";
  return entry.problem.empty() ? "ok" : "damaged: " + entry.problem;
}

class BackupsCommand : public Command {
 public:
  const char* Name() const override { return "backups"; }
  const char* Description() const override {
    return "List the backups in the data folder, the latest of each kind first, checked against "
           "their manifests";
  }
  void Define(CLI::App& sub) override { DefineJson(sub); }

  int Run(Platform& platform) override {
    JobRunner runner(platform, PromptAnswers{}, JsonReport());
    runner.Start();
    const std::string dataPath = runner.dataPath();
    Json list = Json::array();
    std::string table;
    for (const char* folder : {"QUORVANE_ENGINE_CF_BACKUP", "QUORVANE_PANEL_CF_BACKUP"}) {
      for (const BackupEntry& e : ListBackups(platform, dataPath + "\\" + folder, true)) {
        const bool proven = e.manifestState == ManifestState::kRead;
        const std::string kind = proven ? KindText(e.manifest.targetType)
                                        : (Contains(folder, "PANEL") ? "Panel" : "Engine");
        list.push_back({{"kind", kind},
                        {"name", e.name},
                        {"latest", !e.inHistory},
                        {"folder", platform.DisplayPath(e.folder)},
                        {"card_serial", proven && e.manifest.cardSerial != 0
                                            ? Json(SerialText(e.manifest.cardSerial))
                                            : Json(nullptr)},
                        {"card_label", proven ? Json(e.manifest.cardLabel) : Json(nullptr)},
                        {"date", proven ? Json(e.manifest.date) : Json(nullptr)},
                        {"files", e.files},
                        {"bytes", e.bytes},
                        {"package_versions",
                         proven ? Json(e.manifest.packageVersions) : Json(nullptr)},
                        {"manifest", ManifestText(e.manifestState)},
                        {"incomplete", e.incomplete},
                        {"checks", !e.incomplete && proven && e.problem.empty()},
                        {"problem", e.problem.empty() ? Json(nullptr) : Json(e.problem)}});
        table += kind + "  " + e.name + (e.inHistory ? "" : " (latest)") + "\n    card " +
                 (proven ? SerialText(e.manifest.cardSerial) + " \"" + e.manifest.cardLabel +
                               "\", taken " + e.manifest.date
                         : std::string("unknown")) +
                 ", " + std::to_string(e.files) + " files, " + std::to_string(e.bytes) +
                 " bytes" +
                 (proven && !e.manifest.packageVersions.empty()
                      ? ", " + e.manifest.packageVersions
                      : std::string()) +
                 "\n    " + Verdict(e) + "\n";
      }
    }
    if (!JsonReport()) {
      std::cout << (table.empty() ? "There are no backups in " + platform.DisplayPath(dataPath) + ".\n" : table);
      return kExitOk;
    }
    Json report = ReportHead(Name());
    SetOutcome(report, "passed", kExitOk, runner.Messages());
    report["data_folder"] = platform.DisplayPath(dataPath);
    report["backups"] = std::move(list);
    PrintJson(report);
    return kExitOk;
  }
};

CARDWRIGHT_COMMAND(BackupsCommand);

}  // namespace
}  // namespace cw::cli
