#pragma once
// A picture of the window for the documentation ("make windows-screenshot").

#include <string>

namespace cw::win32ui {

class Win32DialogView;

// Opens the window, picks the first drive in the tree as an operator would, and writes the
// window as the screen shows it, frame included, to `path` as a PNG. False when the
// window cannot be made or the file written.
bool SaveScreenshot(Win32DialogView& view, const std::string& path);

}  // namespace cw::win32ui
