#pragma once
// Opens the program's window: what "cardwright" without a subcommand does. Free of any toolkit
// header, so the command line can call it.

#include "platform/platform.h"

namespace cw {

// Runs the main dialog on `platform` until it closes; returns the process's exit status. When the
// variable CARDWRIGHT_SCREENSHOT names a file, writes a PNG of the window after start-up to it
// instead (for the documentation; "make screenshot").
int RunWindow(Platform& platform, int argc, char** argv);

// Called before a subcommand runs: on Windows, where the program is a window program, its
// output goes to the console it was started from unless it was redirected. Elsewhere nothing.
void UseCallersConsole();

}  // namespace cw
