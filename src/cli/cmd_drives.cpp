// `cardwright drives`: the drive map as the program sees it.
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/command.h"
#include "cli/json_report.h"
#include "platform/platform.h"

namespace cw::cli {
namespace {

const char* TypeName(DriveType type) {
  switch (type) {
    case DriveType::Removable:
      return "removable";
    case DriveType::Fixed:
      return "fixed";
    case DriveType::Remote:
      return "remote";
    case DriveType::CdRom:
      return "cdrom";
    case DriveType::RamDisk:
      return "ramdisk";
    default:
      return "unknown";
  }
}

void PrintTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::cout << line << "\n";
  }
}

class DrivesCommand : public Command {
 public:
  const char* Name() const override { return "drives"; }
  const char* Description() const override {
    return "List the drive map: letter, host folder, type, file system, size in bytes";
  }
  void Define(CLI::App& sub) override { DefineJson(sub); }

  int Run(Platform& platform) override {
    // Where drives are host folders, each card's label too (Windows shows its drives as ever).
    // Each drive's whereabouts are read once: a card's label takes a read of its boot sector.
    std::vector<std::pair<std::string, std::optional<DriveWhereabouts>>> listed;
    bool labels = false;
    for (const std::string& root : platform.LogicalDriveStrings()) {
      listed.emplace_back(root, DriveWhere(platform, root));
      labels = labels || listed.back().second.has_value();
    }
    std::vector<std::vector<std::string>> rows = {
        {"Drive", "Host path", "Type", "File system", "Bytes"}};
    if (labels) rows[0].push_back("Label");
    Json drives = Json::array();
    for (const auto& [root, where] : listed) {
      if (root[0] == 'A' || root[0] == 'B') continue;
      std::string fileSystem;
      uint64_t total = 0;
      const bool haveVolume = platform.GetVolumeInformation(root, nullptr, &fileSystem);
      const bool haveSpace = platform.GetDiskSpace(root, &total, nullptr);
      const std::string letter = root.substr(0, 2);
      const char* type = TypeName(platform.GetDriveType(root));
      rows.push_back({letter, platform.DriveHostPath(root), type, haveVolume ? fileSystem : "-",
                      haveSpace ? std::to_string(total) : "-"});
      drives.push_back({{"drive", letter},
                        {"host_path", platform.DriveHostPath(root)},
                        {"type", type},
                        {"file_system", haveVolume ? Json(fileSystem) : Json(nullptr)},
                        {"bytes", haveSpace ? Json(total) : Json(nullptr)}});
      if (!labels) continue;
      const bool named = where && !where->label.empty();
      rows.back().push_back(named ? where->label : "-");
      drives.back()["label"] = named ? Json(where->label) : Json(nullptr);
    }
    if (!JsonReport()) {
      PrintTable(rows);
      return kExitOk;
    }
    Json report = ReportHead(Name());
    SetOutcome(report, "passed", kExitOk);
    report["drives"] = std::move(drives);
    PrintJson(report);
    return kExitOk;
  }
};

CARDWRIGHT_COMMAND(DrivesCommand);

}  // namespace
}  // namespace cw::cli
