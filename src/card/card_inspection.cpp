#include "card/card_inspection.h"

#include "job/job_io.h"
#include "job/job_values.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "verify/file_rules.h"

namespace cw {

namespace {

// The controller's file system addresses at most 2 GiB; a card of exactly that size is fine.
constexpr uint64_t kLargestCardBytes = 0x80000000ull;

// "E:" or "E:\..." -> "E:\".
std::string CardRoot() {
  return globalFlashPath.empty() ? std::string() : std::string(1, globalFlashPath[0]) + ":\\";
}

bool PanelSelected() { return currentJob != nullptr && currentJob->panelSelected != 0; }

}  // namespace

bool BasicFlashCheck() {
  Log("BasicFlashCheck");
  const std::string root = CardRoot();

  std::string volumeName;
  std::string fileSystemName;
  if (!Sys().GetVolumeInformation(root, &volumeName, &fileSystemName)) fileSystemName.clear();

  // A failed query keeps the previous capacity; each store job starts it at 0.
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  if (Sys().GetDiskSpace(root, &totalBytes, &freeBytes)) cardTotalBytes = totalBytes;

  Log("  flash information:");
  LogF("    total CF space: %llu", static_cast<unsigned long long>(cardTotalBytes));
  LogF("    file system type: %s", fileSystemName.c_str());

  if (cardTotalBytes == 0) {
    Log("  no flash detected.");
    ShowMessage("A compact flash was not detected in the drive.", MessageButtons::Ok,
                MessageIcon::Exclamation);
    return false;
  }
  if (fileSystemName != "FAT" && fileSystemName != "FAT16") {
    Log("  bad FAT type.");
    ShowMessage(
        "The compact flash has an incompatible FAT type.\n"
        "Please use Windows to reformat the compact flash to FAT16",
        MessageButtons::Ok, MessageIcon::None);
    return false;
  }
  if (cardTotalBytes > kLargestCardBytes) {
    Log("  compact flash is too big.");
    ShowMessage(
        "The compact flash size exceeds the engine file system's capability.\r\n"
        "Download terminated.",
        MessageButtons::Ok, MessageIcon::None);
    return false;
  }
  Log("  compact flash looks okay.");
  return true;
}

void GetCFInfo() {
  Log("GetCFInfo");
  otherPackageFiles.clear();

  for (const std::string& path : cardFileList) {
    // Later tests and later files overwrite earlier answers: the last match decides.
    if (Contains(path, "NK.BIN")) targetType = kTargetPanel3940;
    if (Contains(path, "NK.NBG")) targetType = kTargetPanel3950;
    if (Contains(path, "UPGRADE.FWP")) targetType = kTargetEngine;
    if (Contains(path, "FWP_3950.FWP")) targetType = kTargetEngine;
    if (Contains(path, ".FWP") && !Contains(path, "UPGRADE") && !Contains(path, "FWP_3950"))
      otherPackageFiles.push_back(path);

    if (PanelSelected() && FileIsSpeciallyProtected(path)) {
      // These files stay on the card, so the room for the new files is smaller.
      std::unique_ptr<File> file = Sys().OpenFile(path, OpenMode::Read);
      uint64_t size = 0;
      if (file && file->GetSize(&size)) keptBytes += size;
      if (file) file->Close();
    }
  }

  if (targetType == kTargetPanel3940 || targetType == kTargetPanel3950) osOnCard = 1;
  LogF("  target type: %d", targetType);
  LogF("  WinCE on flash: %s", osOnCard ? "Yes" : "No");
}

}  // namespace cw
