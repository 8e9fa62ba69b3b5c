#include "card/wd_crc_list.h"

namespace cw {

std::optional<std::string> CheckIfWD(Platform& platform, const Reporter& report,
                                     const std::string& flashPath) {
  report.Log("CheckIfWD");
  const std::string path = flashPath + "\\WD\\CRCFile.txt";
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (file) {
    file->Close();
    report.Log("  and it is.");
    return path;
  }
  report.Log("  and it is not.");
  return std::nullopt;
}

}  // namespace cw
