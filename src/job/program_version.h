#pragma once
// The build's one version number (the project's VERSION in CMakeLists.txt): "1.061" is 1061
// here, as the log, the window title and the upgrade record show it.

namespace cw {

inline constexpr int kProgramVersion = CARDWRIGHT_VERSION_NUMBER;
inline constexpr const char* kProgramVersionText = CARDWRIGHT_VERSION;

}  // namespace cw
