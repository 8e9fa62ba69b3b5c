#pragma once
// Opens the program's window: what "cardwright" without a subcommand does. Free of any toolkit
// header, so the command line can call it.

namespace cw {

// Runs the main dialog until it closes; returns the process's exit status. The hidden option
// "--screenshot FILE" writes a PNG of the window after start-up instead of running it.
int RunWindow(int argc, char** argv);

}  // namespace cw
