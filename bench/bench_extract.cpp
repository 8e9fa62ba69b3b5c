// Inflating one 16 MiB file as extraction does (Decompress: read the stored bytes, inflate into
// a buffer of the full size, create the folders, write the file) against zlib's uncompress()
// alone and uncompress() plus a plain write of the result.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "record/job_context.h"
#include "record/job_state.h"
#include "package/extraction.h"
#include "package/file_table.h"
#include "package/package_writer.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "support/content.h"

namespace {

constexpr size_t kFileBytes = size_t{16} << 20;

class OneFile : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State&) override {
    char pattern[] = "/tmp/cardwright-bench-XXXXXX";
    folder_ = mkdtemp(pattern);
    cardFolder_ = folder_ + "/card";
    platform_ = cw::MakePosixPlatform(
        {.mappings = {{.letter = 'E', .hostPath = cardFolder_, .removable = true,
                       .fileSystem = "FAT16", .totalBytes = uint64_t{1} << 30}},
         .discoverMounts = false,
         .instantSleeps = true});
    platform_->CreateDirectory(cardFolder_);
    run_ = std::make_unique<cw::JobState>(*platform_, job_);

    content_ = cwbench::MakeContent(cwbench::ContentSort::kCode, kFileBytes, 1);
    cw::PackageSpec spec;
    spec.files.push_back({.kind = cw::kKindPanel3940, .cardPath = "BREVANT\\APP\\MAIN.EXE",
                          .content = content_});
    cw::PackageLayout layout;
    const std::string package = cw::BuildPackage(spec, &layout);
    record_ = layout.records[0];
    const size_t at = static_cast<size_t>(record_.dataOffset) +
                      cw::FieldText(record_.cardPath).size();  // past the name stamp
    stored_ = package.substr(at, static_cast<size_t>(record_.storedSize));
    packagePath_ = folder_ + "/ONE.FWP";
    ok_ = cw::WriteBytesToFile(*platform_, packagePath_, package);

    run_->globalFWPDataFilePath = packagePath_;
    run_->globalFlashPath = "E:";
    run_->targetType = cw::kTargetPanel3940;
    package_.fileTable = layout.records;
  }
  void TearDown(const benchmark::State&) override {
    package_.fileTable.clear();
    std::system(("rm -rf '" + folder_ + "'").c_str());
  }

 protected:
  void Count(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
    const double ratio = double(kFileBytes) / double(stored_.size());
    state.SetLabel("compression " + std::to_string(ratio).substr(0, 4) + ":1");
  }

  std::unique_ptr<cw::Platform> platform_;
  cw::JobContext job_;
  std::unique_ptr<cw::JobState> run_;
  cw::LoadedPackage package_;
  std::string folder_, cardFolder_, packagePath_, content_, stored_;
  cw::FILE_INFO_STRUCT record_{};
  bool ok_ = false;
};

BENCHMARK_DEFINE_F(OneFile, Decompress)(benchmark::State& state) {
  if (!ok_) return state.SkipWithError("cannot write the package");
  for (auto _ : state) {
    run_->filesStored = 0;
    if (!cw::Decompress(*run_, package_) || run_->filesStored != 1) state.SkipWithError("not extracted");
  }
  Count(state);
}
BENCHMARK_REGISTER_F(OneFile, Decompress)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(OneFile, ZlibUncompress)(benchmark::State& state) {
  std::string out(kFileBytes, '\0');
  for (auto _ : state) {
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(stored_.data()), stored_.size()) != Z_OK) {
      state.SkipWithError("cannot inflate");
    }
    benchmark::DoNotOptimize(out.data());
  }
  Count(state);
}
BENCHMARK_REGISTER_F(OneFile, ZlibUncompress)->Unit(benchmark::kMillisecond);

// The least any extraction can do: uncompress into a fresh buffer, write it, close it.
BENCHMARK_DEFINE_F(OneFile, ZlibUncompressAndWrite)(benchmark::State& state) {
  const std::string path = cardFolder_ + "/MAIN.EXE";
  for (auto _ : state) {
    std::unique_ptr<char[]> out(new char[kFileBytes]);
    uLongf size = kFileBytes;
    if (uncompress(reinterpret_cast<Bytef*>(out.get()), &size,
                   reinterpret_cast<const Bytef*>(stored_.data()), stored_.size()) != Z_OK) {
      state.SkipWithError("cannot inflate");
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, out.get(), size) != static_cast<ssize_t>(size)) {
      state.SkipWithError("cannot write");
    }
    ::close(fd);
  }
  Count(state);
}
BENCHMARK_REGISTER_F(OneFile, ZlibUncompressAndWrite)->Unit(benchmark::kMillisecond);

}  // namespace
