#include "card/wd_crc_list.h"

#include "job/job_io.h"
#include "job/job_values.h"
#include "platform/platform.h"

namespace cw {

bool CheckIfWD() {
  Log("CheckIfWD");
  secondCRCListPath = globalFlashPath + "\\WD\\CRCFile.txt";
  std::unique_ptr<File> file = Sys().OpenFile(secondCRCListPath, OpenMode::Read);
  if (file) {
    file->Close();
    Log("  and it is.");
    return true;
  }
  Log("  and it is not.");
  return false;
}

}  // namespace cw
