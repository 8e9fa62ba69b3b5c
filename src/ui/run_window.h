#pragma once
// Opens the program's window: what "cardwright" without a subcommand does. Free of any toolkit
// header, so the command line can call it.

namespace cw {

// Runs the main dialog until it closes; returns the process's exit status. When the variable
// CARDWRIGHT_SCREENSHOT names a file, writes a PNG of the window after start-up to it instead
// (for the documentation; "make screenshot").
int RunWindow(int argc, char** argv);

}  // namespace cw
