#pragma once
// Runs a program (by default the built cardwright) with extra environment variables and a
// standard input text, and captures its output and exit code. No shell is involved.

#include <functional>
#include <memory>
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

// The same with standard input and output a pseudo-terminal of `columns` columns that passes
// the bytes unchanged (no LF to CR LF); `out` is what the program wrote on it. Standard error
// is a pipe.
CommandResult RunOnTerminal(const std::vector<std::string>& argv, const EnvironmentAdditions& env,
                            int columns = 120);

// A program started in the background, its outputs collected as they come, so that a test can
// act at a moment it sees (a question asked, a log line written) and then signal it.
class RunningProgram {
 public:
  // With `terminalInput`, standard input is a pseudo-terminal, so questions are asked on it;
  // otherwise it is an empty pipe.
  RunningProgram(const std::vector<std::string>& argv, const EnvironmentAdditions& env,
                 bool terminalInput);
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  // Kills and reaps a program still running.
  ~RunningProgram();

  // Collects output until `done` holds (true) or the program has ended without it (false).
  // `done` is asked after each piece of output and at least every 10 ms. A bound of 120 s
  // keeps a broken program from hanging the test; it is not a timing check.
  bool WaitUntil(const std::function<bool()>& done);
  bool WaitForError(const std::string& text);
  void Signal(int signal);
  // Waits for the end and returns everything.
  CommandResult Finish();
  const std::string& err() const { return result_.err; }

 private:
  bool Collect(int timeoutMs);  // false once both outputs are closed

  int pid_ = -1;
  int outFd_ = -1, errFd_ = -1, terminal_ = -1;
  CommandResult result_;
};

// Starts CARDWRIGHT_EXE with `args` in the background.
std::unique_ptr<RunningProgram> StartCardwright(const std::vector<std::string>& args,
                                                const EnvironmentAdditions& env,
                                                bool terminalInput);

// Runs CARDWRIGHT_EXE with `args`.
CommandResult RunCardwright(const std::vector<std::string>& args,
                            const EnvironmentAdditions& env = {},
                            const std::string& stdinText = "");

// Runs CARDWRIGHT_EXE with `args` on a pseudo-terminal `columns` wide.
CommandResult RunCardwrightOnTerminal(const std::vector<std::string>& args,
                                      const EnvironmentAdditions& env, int columns);

}  // namespace cw::test
