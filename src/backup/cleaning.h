#pragma once
// Emptying the old backup and removing a panel card's application files, both through one
// deletion loop that first clears the attributes that would stop a deletion.

#include <string>

#include "card/file_status.h"
#include "record/job_state.h"

namespace cw {

// Deletes the old backup's files; nothing on C: outside a "_CF_BACKUP" folder.
void CleanBackupFolder(JobState& state, const FileList& files);
// Deletes the card's files in its "\BREVANT\" folder that are not specially protected.
// Upper-cases the entries of `files` in place. `keepsWholeCard`: the job's package keeps every
// file (LoadedPackage::KeepsWholeCard).
void CleanCF(JobState& state, FileList& files, bool keepsWholeCard);
// Deletes each file that opens, reporting (and skipping) those that resist. Always true; throws
// JobStopped when the job is asked to stop.
bool DeleteFiles(JobState& state, const FileList& files);

}  // namespace cw
