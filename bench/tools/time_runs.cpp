// Runs a command several times and reports its median wall time and its peak memory.
//
//   bench_time --runs N [--prepare SHELL-COMMAND] [--output FILE] -- PROGRAM ARGS...
//
// Before each run the prepare command runs through /bin/sh (untimed; it must succeed). The
// program's standard output and error go to FILE (appended), or stay on the terminal. Prints
// one line: median, min and max seconds, then the largest peak resident set of any run in KiB
// (getrusage of the child, ru_maxrss). Exits 1 when a run fails, naming it.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: bench_time --runs N [--prepare CMD] [--output FILE] -- PROGRAM ARGS...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::string prepare, output;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (i + 1 >= argc) return Usage();
    if (arg == "--runs") runs = std::atoi(argv[++i]);
    else if (arg == "--prepare") prepare = argv[++i];
    else if (arg == "--output") output = argv[++i];
    else return Usage();
  }
  if (i + 1 >= argc || runs < 1) return Usage();
  char** program = argv + i + 1;

  std::vector<double> seconds;
  long peakKib = 0;
  for (int run = 0; run < runs; ++run) {
    if (!prepare.empty() && std::system(prepare.c_str()) != 0) {
      std::fprintf(stderr, "bench_time: prepare failed: %s\n", prepare.c_str());
      return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
      if (!output.empty()) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
          dup2(fd, 1);
          dup2(fd, 2);
        }
      }
      execvp(program[0], program);
      _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
      std::perror("bench_time");
      return 1;
    }
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    peakKib = std::max(peakKib, usage.ru_maxrss);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "bench_time: %s failed (status %d) on run %d\n", program[0],
                   WIFEXITED(status) ? WEXITSTATUS(status) : -1, run + 1);
      return 1;
    }
  }
  std::vector<double> sorted = seconds;
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  std::printf("%.4f %.4f %.4f %ld\n", median, sorted.front(), sorted.back(), peakKib);
  return 0;
}
