#pragma once
// The store job's paths against Windows' MAX_PATH (platform/path_limits.h), checked before
// anything of the card or of a backup changes.

#include <optional>
#include <vector>

#include "package/file_table.h"

namespace cw {

struct JobState;

// Every path the store job will make: each package file of `fileTable` on the card and the folders above it,
// and, when the card is backed up, each card file's copy in the backup folder with its folders,
// the backup's mark and manifest, and the previous backup's files once moved into the history.
// nullopt when all fit. Otherwise the job ends here (jobRunning cleared, exit code returned)
// after a message naming the first path that does not fit: nothing has changed.
std::optional<int> RefuseTooLongStorePaths(JobState& state,
                                           const std::vector<FILE_INFO_STRUCT>& fileTable);

}  // namespace cw
