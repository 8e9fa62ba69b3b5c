// One diagnostic log line, as every part writes it: lock, open, seek to the end, write, close.
// The data path is upper-cased by the system, so each line resolves a Windows path whose
// folders differ in case from the host's. Against the same line through the host path, and
// against the bare system calls the rule itself needs (flock, open, write, close).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "log/log_to_file.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"

namespace {

const char kLine[] = "    obtained file status, attributes: 20";

// The data folder, made once per process and left to settle: a real one is old, and only
// settled folders have their names remembered. Below BENCH_LOG_ROOT (default /tmp; on a shared
// machine /tmp changes all the time, so make bench points it at the build folder).
struct DataFolder {
  DataFolder() {
    const char* base = std::getenv("BENCH_LOG_ROOT");
    std::string pattern = std::string(base ? base : "/tmp") + "/cardwright-bench-XXXXXX";
    root = mkdtemp(pattern.data());
    host = root + "/Documents/BREVANT/QUORVANE";
    std::system(("mkdir -p '" + host + "'").c_str());
    // C: is the host's root; the system keeps the documents path in upper case.
    std::string documents = "C:" + root + "/Documents";
    for (char& c : documents) {
      if (c == '/') c = '\\';
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    windows = documents + "\\BREVANT\\QUORVANE";
    sleep(4);
  }
  ~DataFolder() { std::system(("rm -rf '" + root + "'").c_str()); }
  std::string root, host, windows;
};

const DataFolder& Folder() {
  static const DataFolder folder;
  return folder;
}

class LogLine : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State&) override {
    platform_ =
        cw::MakePosixPlatform({.mappings = {}, .discoverMounts = false, .instantSleeps = true});
    hostFolder_ = Folder().host;
    windowsFolder_ = Folder().windows;
  }

 protected:
  std::unique_ptr<cw::Platform> platform_;
  std::string hostFolder_, windowsFolder_;
};

BENCHMARK_DEFINE_F(LogLine, UpperCasedDataPath)(benchmark::State& state) {
  cw::CLogToFile log(*platform_);
  log.SetLogFile(windowsFolder_ + "\\fwp_downloader.log");
  log.SetEnabled(true);
  if (!log.fileOk()) return state.SkipWithError("the log did not open");
  for (auto _ : state) log.Log(kLine);
}
BENCHMARK_REGISTER_F(LogLine, UpperCasedDataPath)->Unit(benchmark::kMicrosecond);

BENCHMARK_DEFINE_F(LogLine, HostPath)(benchmark::State& state) {
  cw::CLogToFile log(*platform_);
  log.SetLogFile(hostFolder_ + "/fwp_downloader.log");
  log.SetEnabled(true);
  if (!log.fileOk()) return state.SkipWithError("the log did not open");
  for (auto _ : state) log.Log(kLine);
}
BENCHMARK_REGISTER_F(LogLine, HostPath)->Unit(benchmark::kMicrosecond);

// What the rule itself costs: lock, open, append, close, unlock.
BENCHMARK_DEFINE_F(LogLine, BareSystemCalls)(benchmark::State& state) {
  const std::string path = hostFolder_ + "/bare.log";
  const std::string line = std::string("2024-01-01 12:00:00 - ") + kLine + "\r\n";
  for (auto _ : state) {
    const int lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ::flock(lock, LOCK_EX);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ::lseek(fd, 0, SEEK_END);
    if (::write(fd, line.data(), line.size()) < 0) state.SkipWithError("write failed");
    ::close(fd);
    ::close(lock);
  }
}
BENCHMARK_REGISTER_F(LogLine, BareSystemCalls)->Unit(benchmark::kMicrosecond);

}  // namespace
