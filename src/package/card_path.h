#pragma once
// Whether a path taken from a package or a CRC list may be put below the card root. Extraction
// writes globalFlashPath + "\" + cardPath, so a hostile path could otherwise name any place the
// user may write.

#include <string>

namespace cw {

// True when `path` names a place below the card root: no component made only of dots and
// blanks ("..", "." and what Windows trims to them), no colon (drive letters, streams,
// devices), no leading "\\" or "//" (UNC, device namespace), no reserved device name (CON, NUL,
// COM1, LPT0, COM¹, ...) and no component ending in "." or " " (Windows drops those, so the name
// written would not be the name checked). Backslash and slash both separate components. The
// empty path is the card root.
bool CardPathIsSafe(const std::string& path);

}  // namespace cw
