// Copying the backup back onto the card.

#include <string>
#include <unordered_set>

#include "backup/backup.h"
#include "backup/backup_folder.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "record/job_io.h"
#include "record/job_state.h"

namespace cw {

bool RestoreFiles(JobState& state) {
  state.Log("RestoreFiles");
  const int32_t count = static_cast<int32_t>(state.backupFileList.size());
  state.SetProgressRange(0, count);
  const std::vector<uint64_t> sizes = SizesOfFiles(state.backupFileList);
  state.StartPhaseAmounts(kProgressRestore, count, TotalOf(sizes));
  // A reformatted card, or one whose folder was deleted, gets its whole tree back; a file that
  // cannot be put back is reported and the others still go back.
  std::unordered_set<std::string> foundFolders;
  int32_t restored = 0;
  for (int32_t i = 0; i < count; ++i) {
    state.SetProgressPos(i);
    const std::string& backupPath = state.backupFileList[static_cast<size_t>(i)];
    std::string cardPath = backupPath;
    bool copied = false;
    if (MapFolderPath(backupPath, state.backupRoot, state.globalFlashPath, &cardPath)) {
      CreateMissingFolders(state, cardPath, foundFolders);
      copied = Sys().CopyFile(backupPath, cardPath, false);
    } else {
      SetLastError(kErrPathNotFound);  // not below the backup folder: it has no place on the card
    }
    state.CountFileDone(sizes[static_cast<size_t>(i)]);
    if (!copied) {
      state.AppendDiagnostics(
          Format("\r\nCopy File Error - %d - ", static_cast<int>(GetLastError())) + cardPath +
          "\r\n");
      continue;
    }
    ++restored;
    state.SetStatus(Format("%d Files Restored", restored));
  }
  return restored == count;
}

}  // namespace cw
