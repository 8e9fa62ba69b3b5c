#include "support/run_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace cw::test {

namespace {

std::vector<std::string> MergedEnvironment(const EnvironmentAdditions& additions) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const auto& [key, value] : additions) replaced = replaced || key == name;
    if (!replaced) merged.push_back(text);
  }
  for (const auto& [key, value] : additions) merged.push_back(key + "=" + value);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

void MakePipe(int fds[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

// Starts argv[0] with the three descriptors as its standard input, output and error; 0 when it
// cannot start.
pid_t Spawn(const std::vector<std::string>& argv, const EnvironmentAdditions& env, int in,
            int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  std::vector<std::string> args = argv;
  std::vector<std::string> environment = MergedEnvironment(env);
  std::vector<char*> argPointers = Pointers(args);
  std::vector<char*> envPointers = Pointers(environment);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argPointers.data(),
                                    envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : 0;
}

// Reads what poll found ready on the program's standard output (fds[0]) and error (fds[1]);
// a pipe at its end is closed and its descriptor set to -1.
void DrainReady(const pollfd* fds, CommandResult* result, int* outFd, int* errFd) {
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char buffer[65536];
    const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      (i == 0 ? result->out : result->err).append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      ::close(fds[i].fd);
      *(i == 0 ? outFd : errFd) = -1;
    }
  }
}

}  // namespace

CommandResult RunProgram(const std::vector<std::string>& argv, const EnvironmentAdditions& env,
                         const std::string& stdinText) {
  int in[2], out[2], err[2];
  MakePipe(in);
  MakePipe(out);
  MakePipe(err);
  const pid_t pid = Spawn(argv, env, in[0], out[1], err[1]);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  CommandResult result;
  if (pid == 0) {
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    result.err = "cannot start " + argv[0];
    return result;
  }

  // Feed standard input and drain both outputs together, so no pipe fills up and blocks.
  ::signal(SIGPIPE, SIG_IGN);
  size_t fed = 0;
  int inFd = in[1];
  if (stdinText.empty()) {
    ::close(inFd);
    inFd = -1;
  } else {
    ::fcntl(inFd, F_SETFL, O_NONBLOCK);
  }
  int outFd = out[0], errFd = err[0];
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {inFd, POLLOUT, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    DrainReady(fds, &result, &outFd, &errFd);
    if (inFd >= 0 && fds[2].revents != 0) {
      const ssize_t put = ::write(inFd, stdinText.data() + fed, stdinText.size() - fed);
      if (put > 0) fed += static_cast<size_t>(put);
      if ((put < 0 && errno != EAGAIN && errno != EINTR) || fed == stdinText.size()) {
        ::close(inFd);
        inFd = -1;
      }
    }
  }
  if (inFd >= 0) ::close(inFd);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

CommandResult RunOnTerminal(const std::vector<std::string>& argv, const EnvironmentAdditions& env,
                            int columns) {
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0)
    throw std::runtime_error("no pseudo-terminal");
  const int slave = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) throw std::runtime_error("no pseudo-terminal");
  // Bytes as the program wrote them: no LF to CR LF on the way.
  termios modes{};
  ::tcgetattr(slave, &modes);
  modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  ::tcsetattr(slave, TCSANOW, &modes);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  ::ioctl(terminal, TIOCSWINSZ, &size);

  int err[2];
  MakePipe(err);
  const pid_t pid = Spawn(argv, env, slave, slave, err[1]);
  ::close(slave);
  ::close(err[1]);
  CommandResult result;
  int outFd = terminal, errFd = err[0];
  if (pid == 0) {
    ::close(outFd);
    ::close(errFd);
    result.err = "cannot start " + argv[0];
    return result;
  }
  // The terminal reads as ended (EIO) once the program and its children have closed it.
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    DrainReady(fds, &result, &outFd, &errFd);
  }
  for (int fd : {outFd, errFd})
    if (fd >= 0) ::close(fd);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

RunningProgram::RunningProgram(const std::vector<std::string>& argv,
                               const EnvironmentAdditions& env, bool terminalInput) {
  int in[2], out[2], err[2];
  MakePipe(in);
  MakePipe(out);
  MakePipe(err);
  int inputFd = in[0];
  int slave = -1;
  if (terminalInput) {
    terminal_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_ < 0 || ::grantpt(terminal_) != 0 || ::unlockpt(terminal_) != 0)
      throw std::runtime_error("no pseudo-terminal");
    slave = ::open(::ptsname(terminal_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) throw std::runtime_error("no pseudo-terminal");
    inputFd = slave;
  }
  const pid_t pid = Spawn(argv, env, inputFd, out[1], err[1]);
  for (int fd : {in[0], in[1], out[1], err[1], slave})
    if (fd >= 0) ::close(fd);
  outFd_ = out[0];
  errFd_ = err[0];
  if (pid == 0) throw std::runtime_error("cannot start " + argv[0]);
  pid_ = pid;
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  for (int fd : {outFd_, errFd_, terminal_})
    if (fd >= 0) ::close(fd);
}

bool RunningProgram::Collect(int timeoutMs) {
  if (outFd_ < 0 && errFd_ < 0) return false;
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (::poll(fds, 2, timeoutMs) <= 0) return true;
  DrainReady(fds, &result_, &outFd_, &errFd_);
  return true;
}

bool RunningProgram::WaitUntil(const std::function<bool()>& done) {
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!done()) {
    if (!Collect(10) || std::chrono::steady_clock::now() > bound) return done();
  }
  return true;
}

bool RunningProgram::WaitForError(const std::string& text) {
  return WaitUntil([&] { return result_.err.find(text) != std::string::npos; });
}

void RunningProgram::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

CommandResult RunningProgram::Finish() {
  while (Collect(-1)) {
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result_;
}

std::unique_ptr<RunningProgram> StartCardwright(const std::vector<std::string>& args,
                                                const EnvironmentAdditions& env,
                                                bool terminalInput) {
  std::vector<std::string> argv = {CARDWRIGHT_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<RunningProgram>(argv, env, terminalInput);
}

CommandResult RunCardwright(const std::vector<std::string>& args, const EnvironmentAdditions& env,
                            const std::string& stdinText) {
  std::vector<std::string> argv = {CARDWRIGHT_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, env, stdinText);
}

CommandResult RunCardwrightOnTerminal(const std::vector<std::string>& args,
                                      const EnvironmentAdditions& env, int columns) {
  std::vector<std::string> argv = {CARDWRIGHT_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunOnTerminal(argv, env, columns);
}

}  // namespace cw::test
