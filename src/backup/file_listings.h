#pragma once
// Flat lists of every file on the card and in the backup folder, gathered by a breadth-first
// walk of their folders.

#include <string>

#include "record/job_state.h"

namespace cw {

// Appends a "<folder>\*.*" pattern for every folder below the patterns already in `folders`,
// breadth-first; the list grows while it is walked.
void GetFolderArray(JobState& state, FileList& folders);
// Appends the upper-cased full path of every file matched by the patterns in `folders`.
void GetFileArray(JobState& state, const FileList& folders, FileList& files);
// Every file on the card below globalFlashPath.
void GetCFFilesArray(JobState& state, FileList& files);
// Every file below the folder `root`, each folder searched once; the number of folders walked.
size_t GetFilesBelow(JobState& state, const std::string& root, FileList& files);
// The backup folder of the current kind of card in the data folder `dataPath`: the engine's for
// every targetType but a panel's; a card of unknown kind is a panel's only when Panel files were
// asked for (`panelAsked`).
std::string BackupRootForTarget(const JobState& state, const std::string& dataPath,
                                bool panelAsked);
// Sets backupRoot to `root` (a BackupRootForTarget) and lists every file below it.
void GetBackupFilesArray(JobState& state, const std::string& root, FileList& files);

}  // namespace cw
