#pragma once
// Runs a program (by default the built cardwright) with extra environment variables and a
// standard input text, and captures its output and exit code. No shell is involved.

#include <string>
#include <utility>
#include <vector>

namespace cw::test {

struct CommandResult {
  int exitCode = -1;  // the exit status; 128 + N when killed by signal N
  std::string out, err;
};

using EnvironmentAdditions = std::vector<std::pair<std::string, std::string>>;

// argv[0] is the program's path. `env` adds to (or replaces in) this process's environment.
CommandResult RunProgram(const std::vector<std::string>& argv, const EnvironmentAdditions& env = {},
                         const std::string& stdinText = "");

// Runs CARDWRIGHT_EXE with `args`.
CommandResult RunCardwright(const std::vector<std::string>& args,
                            const EnvironmentAdditions& env = {},
                            const std::string& stdinText = "");

}  // namespace cw::test
