#pragma once
// The restore a store job falls back on, and "Restore Only".

namespace cw {

struct JobState;

// Puts the backup back, ejects, reloads the reference table and verifies the card again.
// True only when every file is back and the restored card verified ("Restore OK!!"). A
// backup marked incomplete, or none at all, restores nothing and changes nothing.
bool AttemptRestore(JobState& state);

}  // namespace cw
