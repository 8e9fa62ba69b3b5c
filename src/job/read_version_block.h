#pragma once
// The read a front end runs when a package is chosen (GetFWPVerRev's work): the package's
// version block into the front end's version values, its log lines and the texts of the two
// boxes.

#include <string>

#include "package/version_block.h"
#include "platform/platform.h"

namespace cw {

struct JobContext;

// The outcome of reading a chosen package's version block, for a front end's two boxes.
struct VersionTexts {
  bool opened = false;  // false: "FWP file could not be opened!" was shown
  bool found = false;   // keyword 1 found: the job's version values were replaced
  std::string engineText;  // the engine box's text after the read (the previous one if unread)
  std::string panelText;
};

// GetFWPVerRev's work, run on the front end's thread: reads the package at `path`, writes the
// values it finds into the front end's `versions` (the others keep theirs), logs through
// job.log and shows its message through job.prompt. Texts not read keep the box texts passed in.
VersionTexts ReadVersionBlock(Platform& platform, const std::string& path, JobContext& job,
                              PackageVersions& versions, const std::string& engineBoxText,
                              const std::string& panelBoxText);

}  // namespace cw
