#include "cli/command.h"

namespace cw::cli {

// A function-local list, so commands registering from other files' static initialisers find
// it constructed whatever the link order.
std::vector<Command*>& Commands() {
  static std::vector<Command*> commands;
  return commands;
}

}  // namespace cw::cli
