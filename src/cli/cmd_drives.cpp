// `cardwright drives`: the drive map as the program sees it.
#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
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
  void Define(CLI::App&) override {}

  int Run() override {
    Platform& sys = Sys();
    std::vector<std::vector<std::string>> rows = {
        {"Drive", "Host path", "Type", "File system", "Bytes"}};
    for (const std::string& root : sys.LogicalDriveStrings()) {
      if (root[0] == 'A' || root[0] == 'B') continue;
      std::string fileSystem;
      uint64_t total = 0;
      const bool haveVolume = sys.GetVolumeInformation(root, nullptr, &fileSystem);
      const bool haveSpace = sys.GetDiskSpace(root, &total, nullptr);
      rows.push_back({root.substr(0, 2), sys.DriveHostPath(root), TypeName(sys.GetDriveType(root)),
                      haveVolume ? fileSystem : "-", haveSpace ? std::to_string(total) : "-"});
    }
    PrintTable(rows);
    return kExitOk;
  }
};

CARDWRIGHT_COMMAND(DrivesCommand);

}  // namespace
}  // namespace cw::cli
