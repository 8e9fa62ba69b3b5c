// The Windows program's two faces: with a subcommand it writes to the console it was started
// from (or to the pipes and files its output was redirected to); without one it opens the
// native window. cardwright.exe is linked as a window program, so started from Explorer no
// console flashes up; its twin cardwright.com, a console program, is what a shell runs.

#include "ui/win32/win32_api.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/run_window.h"
#include "ui/win32/screenshot.h"
#include "ui/win32/win32_dialog_view.h"
#include "ui/win32/win32_prompt.h"

namespace cw {
namespace {

// True when standard handle `which` leads somewhere: a console, a pipe or a file given by the
// caller. A window program started from a console has none.
bool HasStandardHandle(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// The console's code pages as they were, given back when the program ends: the shell that
// started it goes on with its own.
UINT consoleInputCodePage = 0;
UINT consoleOutputCodePage = 0;
void GiveBackConsoleCodePages() {
  ::SetConsoleCP(consoleInputCodePage);
  ::SetConsoleOutputCP(consoleOutputCodePage);
}

// Every text of the program is UTF-8 (the manifest's code page): the console is told so, or
// it would show a card file's accented name in its OEM code page.
void SpeakUtf8OnTheConsole() {
  consoleInputCodePage = ::GetConsoleCP();
  consoleOutputCodePage = ::GetConsoleOutputCP();
  if (consoleOutputCodePage == 0 || consoleOutputCodePage == CP_UTF8) return;  // none, or UTF-8
  ::SetConsoleCP(CP_UTF8);
  ::SetConsoleOutputCP(CP_UTF8);
  std::atexit(GiveBackConsoleCodePages);
}

}  // namespace

void UseCallersConsole() {
  const bool in = HasStandardHandle(STD_INPUT_HANDLE);
  const bool out = HasStandardHandle(STD_OUTPUT_HANDLE);
  const bool err = HasStandardHandle(STD_ERROR_HANDLE);
  // Everything redirected, or the console twin's start (cardwright.com): the handles are there.
  if (!(in && out && err)) {
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;  // started without a console
    // Only the streams the caller left open go to its console; redirected ones stay.
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
    if (!in) std::freopen("CONIN$", "r", stdin);
  }
  SpeakUtf8OnTheConsole();
}

int RunWindow(Platform& platform, int /*argc*/, char** /*argv*/) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                     ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);
  // The shell's file information (the tree's icons) needs COM on the window's thread.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  win32ui::Win32Prompt prompt(instance);
  win32ui::Win32DialogView view(platform, instance, prompt, DefaultJobWorkers(platform));
  const char* screenshot = std::getenv("CARDWRIGHT_SCREENSHOT");
  if (screenshot != nullptr && *screenshot != '\0') {
    if (!win32ui::SaveScreenshot(view, screenshot)) {
      std::fprintf(stderr, "cardwright: could not write the screenshot %s\n", screenshot);
      return 1;
    }
    return 0;
  }
  view.RunModal();
  return 0;
}

}  // namespace cw
