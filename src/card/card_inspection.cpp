#include "card/card_inspection.h"

#include "platform/text.h"
#include "rules/file_rules.h"

namespace cw {

namespace {

// The controller's file system addresses at most 2 GiB; a card of exactly that size is fine.
constexpr uint64_t kLargestCardBytes = 0x80000000ull;

// "E:" or "E:\..." -> "E:\".
std::string CardRoot(const std::string& flashPath) {
  return flashPath.empty() ? std::string() : std::string(1, flashPath[0]) + ":\\";
}

}  // namespace

bool BasicFlashCheck(Platform& platform, const Reporter& report, const std::string& flashPath,
                     CardFacts& card) {
  report.Log("BasicFlashCheck");
  const std::string root = CardRoot(flashPath);

  std::string volumeName;
  std::string fileSystemName;
  if (!platform.GetVolumeInformation(root, &volumeName, &fileSystemName)) fileSystemName.clear();

  // A failed query keeps the previous capacity; each job starts it at 0.
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  if (platform.GetDiskSpace(root, &totalBytes, &freeBytes)) card.cardTotalBytes = totalBytes;
  const uint64_t cardTotalBytes = card.cardTotalBytes;

  report.Log("  flash information:");
  report.LogF("    total CF space: %llu", static_cast<unsigned long long>(cardTotalBytes));
  report.LogF("    file system type: %s", fileSystemName.c_str());

  if (cardTotalBytes == 0) {
    report.Log("  no flash detected.");
    report.ShowMessage("A compact flash was not detected in the drive.", MessageButtons::Ok,
                       MessageIcon::Exclamation);
    return false;
  }
  if (fileSystemName != "FAT" && fileSystemName != "FAT16") {
    report.Log("  bad FAT type.");
    report.ShowMessage(
        "The compact flash has an incompatible FAT type.\n"
        "Please use Windows to reformat the compact flash to FAT16",
        MessageButtons::Ok, MessageIcon::None);
    return false;
  }
  if (cardTotalBytes > kLargestCardBytes) {
    report.Log("  compact flash is too big.");
    report.ShowMessage(
        "The compact flash size exceeds the engine file system's capability.\r\n"
        "Download terminated.",
        MessageButtons::Ok, MessageIcon::None);
    return false;
  }
  report.Log("  compact flash looks okay.");
  return true;
}

CardFacts GetCFInfo(Platform& platform, const Reporter& report,
                    const std::vector<std::string>& cardFiles, bool panelSelected,
                    CardFacts facts) {
  report.Log("GetCFInfo");
  facts.otherPackageFiles.clear();

  for (const std::string& path : cardFiles) {
    // Later tests and later files overwrite earlier answers: the last match decides.
    if (Contains(path, "NK.BIN")) facts.targetType = kTargetPanel3940;
    if (Contains(path, "NK.NBG")) facts.targetType = kTargetPanel3950;
    if (Contains(path, "UPGRADE.FWP")) facts.targetType = kTargetEngine;
    if (Contains(path, "FWP_3950.FWP")) facts.targetType = kTargetEngine;
    if (Contains(path, ".FWP") && !Contains(path, "UPGRADE") && !Contains(path, "FWP_3950"))
      facts.otherPackageFiles.push_back(path);

    // No package is loaded yet, so nothing beyond the protected names is kept.
    if (panelSelected && FileIsSpeciallyProtected(report, path, false)) {
      // These files stay on the card, so the room for the new files is smaller.
      std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
      uint64_t size = 0;
      if (file && file->GetSize(&size)) facts.keptBytes += size;
      if (file) file->Close();
    }
  }

  if (IsPanelTarget(facts.targetType)) facts.osOnCard = 1;
  report.LogF("  target type: %d", facts.targetType);
  report.LogF("  WinCE on flash: %s", facts.osOnCard ? "Yes" : "No");
  return facts;
}

}  // namespace cw
