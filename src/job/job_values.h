#pragma once
// The process-wide job values, together under the names the system gives them. They belong to
// no object and are used by the worker thread of the one running job (the front end never reads
// them). Values that belong to one part of the work (the file table, the CRC table, the list
// of other packages on the card) live with that part.

#include <cstdint>
#include <string>
#include <vector>

#include "job/job_context.h"

namespace cw {

using FileList = std::vector<std::string>;

inline JobContext* currentJob = nullptr;
// How many stop requests end the running step: 1, raised while a restore runs (RunRestore).
inline int32_t stopLevel = 1;
inline std::string globalFlashPath;
inline std::string globalFWPDataFilePath;
inline int32_t softwareTestMode = 0;
inline int32_t targetType = kTargetUnknown;
inline int32_t osOnCard = 0;
inline int32_t osInPackage = 0;
inline int32_t has3950Support = 0;
inline int32_t releaseNumber = 0;
inline uint64_t packageBytes = 0;
inline uint64_t keptBytes = 0;
inline uint64_t cardTotalBytes = 0;
inline std::string upgradeInfoText;
inline FileList cardFileList;
inline FileList backupFileList;
inline std::string backupRoot;
// No backup in this job: "Create Backup" is off, or the card is empty. The setting itself
// (JobContext::skipBackup) stays as the user left it for the next job.
inline int32_t backupSkipped = 0;
inline std::string scratchLine;

}  // namespace cw
