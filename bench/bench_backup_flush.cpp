// What putting the backup on stable storage costs before the card changes: copying a backup of
// 200 files of 64 KiB (12.5 MiB) into a folder on the PC's disk, alone and followed by the
// flush the backup makes (one syncfs of the data folder's file system). Real time: the flush
// is spent waiting for the disk. The folder lies below BENCH_LOG_ROOT (default /tmp), which
// make bench points at its data folder on the disk.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_platform.h"

namespace {

constexpr int kFiles = 200;
constexpr size_t kFileBytes = 64 * 1024;

// "/a/b" -> "C:\a\b": C: is the host's root.
std::string WindowsPath(const std::string& host) {
  std::string path = "C:" + host;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

class BackupCopies : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State&) override {
    platform_ =
        cw::MakePosixPlatform({.mappings = {}, .discoverMounts = false, .instantSleeps = true});
    const char* base = std::getenv("BENCH_LOG_ROOT");
    std::string pattern = std::string(base ? base : "/tmp") + "/cardwright-flush-XXXXXX";
    root_ = mkdtemp(pattern.data());
    std::system(("mkdir -p '" + root_ + "/card' '" + root_ + "/backup'").c_str());
    std::string content(kFileBytes, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 2654435761u >> 13);
    sources_.clear();
    copies_.clear();
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = "/F" + std::to_string(i) + ".BIN";
      content[0] = static_cast<char>(i);
      std::ofstream(root_ + "/card" + name, std::ios::binary) << content;
      sources_.push_back(WindowsPath(root_ + "/card" + name));
      copies_.push_back(WindowsPath(root_ + "/backup" + name));
    }
    std::system("sync");
  }
  void TearDown(const benchmark::State&) override {
    std::system(("rm -rf '" + root_ + "'").c_str());
  }

 protected:
  // Copies the backup afresh; false when a copy failed.
  bool Copy() {
    for (int i = 0; i < kFiles; ++i)
      if (!platform_->CopyFile(sources_[i], copies_[i], false)) return false;
    return true;
  }
  void Remove(benchmark::State& state) {
    state.PauseTiming();
    for (const std::string& copy : copies_) platform_->DeleteFile(copy);
    std::system("sync");
    state.ResumeTiming();
  }

  std::unique_ptr<cw::Platform> platform_;
  std::string root_;
  std::vector<std::string> sources_, copies_;
};

BENCHMARK_DEFINE_F(BackupCopies, CopyOnly)(benchmark::State& state) {
  for (auto _ : state) {
    Remove(state);
    if (!Copy()) return state.SkipWithError("a copy failed");
  }
}
BENCHMARK_REGISTER_F(BackupCopies, CopyOnly)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_DEFINE_F(BackupCopies, CopyThenFlush)(benchmark::State& state) {
  for (auto _ : state) {
    Remove(state);
    if (!Copy()) return state.SkipWithError("a copy failed");
    if (!platform_->FlushFiles(WindowsPath(root_), copies_))
      return state.SkipWithError("the flush failed");
  }
}
BENCHMARK_REGISTER_F(BackupCopies, CopyThenFlush)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
