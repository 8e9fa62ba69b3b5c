#include "card/file_status.h"

#include <memory>

#include "log/log_to_file.h"
#include "platform/platform.h"

namespace cw {

namespace {

constexpr uint32_t kBlockingAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem;

// The attribute byte of the file's status; false when the status cannot be read.
bool ReadAttributes(Platform& platform, const std::string& path, uint32_t* attributes) {
  FindEntry info;
  if (!platform.GetFileInfo(path, &info)) return false;
  *attributes = info.attributes & 0xFF;
  return true;
}

}  // namespace

bool FixFileStatus(JobState& state, const std::string& path, bool* cleared) {
  if (cleared != nullptr) *cleared = false;
  state.Log("FixFileStatus");
  state.LogF("  %s", path.c_str());

  std::unique_ptr<File> file = state.platform.OpenFile(path, OpenMode::Read);
  uint32_t attributes = 0;
  // A status that cannot be read counts as a file that cannot be opened.
  if (!file || !ReadAttributes(state.platform, path, &attributes)) {
    state.Log("    failed to open the file.");
    return false;
  }
  state.LogF("    obtained file status, attributes: %x", attributes);

  if ((attributes & kBlockingAttributes) == 0) {
    state.Log("    attributes okay.");
    file->Close();
    state.Log("    file closed.");
    return true;
  }

  state.Log("    changing attributes.");
  // Attributes only: the file's times stay as they are.
  if (!state.platform.SetFileAttributes(path, kAttrArchive)) {
    const uint32_t error = GetLastError();
    state.LogF("    SetStatus exception, cause: %d, IOsError: %d",
               static_cast<int>(FileErrorCauseOf(error)), static_cast<int>(error));
  }

  if (!ReadAttributes(state.platform, path, &attributes) ||
      (attributes & kBlockingAttributes) != 0) {
    const std::string message = path + " file status could not be correctly modified.";
    state.Log(message);
    state.ShowMessage(message, MessageButtons::Ok, MessageIcon::None);
    file->Close();
    return false;
  }
  file->Close();
  state.Log("    file closed.");
  if (cleared != nullptr) *cleared = true;
  return true;
}

bool ClearProtectionBeforeWrite(JobState& state, const std::string& path) {
  FindEntry info;
  if (!state.platform.GetFileInfo(path, &info) || info.IsDirectory()) return true;
  if ((info.attributes & kBlockingAttributes) == 0) return true;
  return FixFileStatus(state, path);
}

}  // namespace cw
