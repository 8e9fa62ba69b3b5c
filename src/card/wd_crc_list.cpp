#include "card/wd_crc_list.h"

#include "record/job_io.h"
#include "record/job_state.h"
#include "platform/platform.h"

namespace cw {

bool CheckIfWD(JobState& state) {
  state.Log("CheckIfWD");
  state.secondCRCListPath = state.globalFlashPath + "\\WD\\CRCFile.txt";
  std::unique_ptr<File> file = state.platform.OpenFile(state.secondCRCListPath, OpenMode::Read);
  if (file) {
    file->Close();
    state.Log("  and it is.");
    return true;
  }
  state.Log("  and it is not.");
  return false;
}

}  // namespace cw
