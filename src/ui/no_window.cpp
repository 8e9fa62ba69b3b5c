// Built instead of the Qt window when CARDWRIGHT_BUILD_UI is off.
#include "ui/run_window.h"

#include <cstdio>

namespace cw {

int RunWindow(Platform& /*platform*/, int /*argc*/, char** /*argv*/) {
  std::fprintf(stderr, "cardwright: this build has no window; run \"cardwright --help\" for the commands.\n");
  return 2;
}

void UseCallersConsole() {}

}  // namespace cw
