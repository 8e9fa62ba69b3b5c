#include "job/store_path_check.h"

#include <string>

#include "backup/backup_folder.h"
#include "backup/backup_history.h"
#include "backup/backup_manifest.h"
#include "job/job_result.h"
#include "job/store_job.h"
#include "platform/path_limits.h"
#include "record/job_state.h"

namespace cw {
namespace {

// A history entry's name at its longest: date and time, the card's serial number, and a
// number when two backups share them ("2026-12-08_044512_1234-ABCD_2"). Named so in a message.
constexpr const char* kHistoryEntry = "YYYY-MM-DD_HHMMSS_XXXX-XXXX_NN";

// Gathers the first path that does not fit.
class PathCheck {
 public:
  // A file at `path` and the folder holding it, unless that is `existing` (a card's root).
  void File(const std::string& path, const std::string& existing = "") {
    if (!tooLong_.empty()) return;
    if (!FileFitsMaxPath(path)) {
      tooLong_ = path;
      return;
    }
    const size_t slash = path.rfind('\\');
    if (slash != std::string::npos && path.compare(0, slash, existing) != 0 &&
        !FolderFitsMaxPath(path.substr(0, slash))) {
      tooLong_ = path.substr(0, slash);
    }
  }
  const std::string& tooLong() const { return tooLong_; }

 private:
  std::string tooLong_;
};

}  // namespace

std::optional<int> RefuseTooLongStorePaths(JobState& state,
                                           const std::vector<FILE_INFO_STRUCT>& fileTable) {
  PathCheck check;
  const std::string& card = state.globalFlashPath;
  for (const FILE_INFO_STRUCT& entry : fileTable)
    check.File(card + "\\" + FieldText(entry.cardPath), card);

  if (!state.backupSkipped) {
    const std::string& backup = state.backupRoot;
    check.File(BackupMarkName(backup));
    check.File(BackupManifestName(backup));
    // A file whose own path is past the limit was not made through these calls (a card
    // written on another system): the backup meets it as any file it cannot take.
    std::string copy;
    for (const std::string& path : state.cardFileList)
      if (FileFitsMaxPath(path) && MapFolderPath(path, card, backup, &copy)) check.File(copy);
    const std::string entry = HistoryFolderOf(backup) + "\\" + kHistoryEntry;
    check.File(BackupManifestName(entry));
    for (const std::string& path : state.backupFileList)
      if (FileFitsMaxPath(path) && MapFolderPath(path, backup, entry, &copy)) check.File(copy);
  }

  if (check.tooLong().empty()) return std::nullopt;
  const std::string shown = state.platform.DisplayPath(check.tooLong());
  state.LogF("  the path %s is longer than Windows allows.", shown.c_str());
  state.ShowAndRecord(
      Format("Store Not Possible!! This path would be longer than Windows allows (%zu "
             "characters):\r\n%s\r\n"
             "Use shorter folder names, or a Documents folder nearer its drive's root.\r\n"
             "The card is unchanged.\r\n",
             kMaxPath - 1, shown.c_str()),
      MessageIcon::Warning);
  return EndJob(state.job, 0);
}

}  // namespace cw
