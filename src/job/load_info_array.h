#pragma once
// The file-table loader: fills fileTable for the running job from the package, from the
// card's stored copy of it (an Engine card checked without a package) or from the card's CRC
// lists (a Panel card checked without a package), keeping the records of the target device.

namespace cw {

struct JobState;

// True when fileTable is loaded. On false the user has seen a message, which is also in the
// job's diagnosticsText. Sets releaseNumber, the header words, osInPackage, has3950Support and
// adds to packageBytes; may point globalFWPDataFilePath at the stored copy. Refuses a package
// that is damaged or names a file outside the card before taking any of its records.
bool LoadInfoArray(JobState& state);

}  // namespace cw
