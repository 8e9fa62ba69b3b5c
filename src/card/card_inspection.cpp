#include "card/card_inspection.h"

#include "record/job_io.h"
#include "record/job_state.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/file_rules.h"

namespace cw {

namespace {

// The controller's file system addresses at most 2 GiB; a card of exactly that size is fine.
constexpr uint64_t kLargestCardBytes = 0x80000000ull;

// "E:" or "E:\..." -> "E:\".
std::string CardRoot(JobState& state) {
  return state.globalFlashPath.empty() ? std::string()
                                       : std::string(1, state.globalFlashPath[0]) + ":\\";
}

bool PanelSelected(JobState& state) { return state.job.panelSelected != 0; }

}  // namespace

bool BasicFlashCheck(JobState& state) {
  state.Log("BasicFlashCheck");
  const std::string root = CardRoot(state);

  std::string volumeName;
  std::string fileSystemName;
  if (!state.platform.GetVolumeInformation(root, &volumeName, &fileSystemName))
    fileSystemName.clear();

  // A failed query keeps the previous capacity; each store job starts it at 0.
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  if (state.platform.GetDiskSpace(root, &totalBytes, &freeBytes)) state.cardTotalBytes = totalBytes;

  state.Log("  flash information:");
  state.LogF("    total CF space: %llu", static_cast<unsigned long long>(state.cardTotalBytes));
  state.LogF("    file system type: %s", fileSystemName.c_str());

  if (state.cardTotalBytes == 0) {
    state.Log("  no flash detected.");
    state.ShowMessage("A compact flash was not detected in the drive.", MessageButtons::Ok,
                      MessageIcon::Exclamation);
    return false;
  }
  if (fileSystemName != "FAT" && fileSystemName != "FAT16") {
    state.Log("  bad FAT type.");
    state.ShowMessage(
        "The compact flash has an incompatible FAT type.\n"
        "Please use Windows to reformat the compact flash to FAT16",
        MessageButtons::Ok, MessageIcon::None);
    return false;
  }
  if (state.cardTotalBytes > kLargestCardBytes) {
    state.Log("  compact flash is too big.");
    state.ShowMessage(
        "The compact flash size exceeds the engine file system's capability.\r\n"
        "Download terminated.",
        MessageButtons::Ok, MessageIcon::None);
    return false;
  }
  state.Log("  compact flash looks okay.");
  return true;
}

void GetCFInfo(JobState& state) {
  state.Log("GetCFInfo");
  state.otherPackageFiles.clear();

  for (const std::string& path : state.cardFileList) {
    // Later tests and later files overwrite earlier answers: the last match decides.
    if (Contains(path, "NK.BIN")) state.targetType = kTargetPanel3940;
    if (Contains(path, "NK.NBG")) state.targetType = kTargetPanel3950;
    if (Contains(path, "UPGRADE.FWP")) state.targetType = kTargetEngine;
    if (Contains(path, "FWP_3950.FWP")) state.targetType = kTargetEngine;
    if (Contains(path, ".FWP") && !Contains(path, "UPGRADE") && !Contains(path, "FWP_3950"))
      state.otherPackageFiles.push_back(path);

    if (PanelSelected(state) && FileIsSpeciallyProtected(state, path)) {
      // These files stay on the card, so the room for the new files is smaller.
      std::unique_ptr<File> file = state.platform.OpenFile(path, OpenMode::Read);
      uint64_t size = 0;
      if (file && file->GetSize(&size)) state.keptBytes += size;
      if (file) file->Close();
    }
  }

  if (state.IsPanel()) state.osOnCard = 1;
  state.LogF("  target type: %d", state.targetType);
  state.LogF("  WinCE on flash: %s", state.osOnCard ? "Yes" : "No");
}

}  // namespace cw
