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

bool FixFileStatus(Platform& platform, const Reporter& report, const std::string& path,
                   bool* cleared) {
  if (cleared != nullptr) *cleared = false;
  report.Log("FixFileStatus");
  report.LogF("  %s", path.c_str());

  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  uint32_t attributes = 0;
  // A status that cannot be read counts as a file that cannot be opened. The open file is
  // asked first: the same status without looking the path up again.
  if (!file ||
      !(file->GetAttributes(&attributes) || ReadAttributes(platform, path, &attributes))) {
    report.Log("    failed to open the file.");
    return false;
  }
  report.LogF("    obtained file status, attributes: %x", attributes);

  if ((attributes & kBlockingAttributes) == 0) {
    report.Log("    attributes okay.");
    file->Close();
    report.Log("    file closed.");
    return true;
  }

  report.Log("    changing attributes.");
  // Attributes only: the file's times stay as they are.
  if (!platform.SetFileAttributes(path, kAttrArchive)) {
    const uint32_t error = GetLastError();
    report.LogF("    SetStatus exception, cause: %d, IOsError: %d",
               static_cast<int>(FileErrorCauseOf(error)), static_cast<int>(error));
  }

  if (!ReadAttributes(platform, path, &attributes) ||
      (attributes & kBlockingAttributes) != 0) {
    const std::string message = path + " file status could not be correctly modified.";
    report.Log(message);
    report.ShowMessage(message, MessageButtons::Ok, MessageIcon::None);
    file->Close();
    return false;
  }
  file->Close();
  report.Log("    file closed.");
  if (cleared != nullptr) *cleared = true;
  return true;
}

bool ClearProtectionBeforeWrite(Platform& platform, const Reporter& report,
                                const std::string& path) {
  FindEntry info;
  if (!platform.GetFileInfo(path, &info) || info.IsDirectory()) return true;
  if ((info.attributes & kBlockingAttributes) == 0) return true;
  return FixFileStatus(platform, report, path);
}

}  // namespace cw
