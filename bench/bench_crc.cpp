// CRC-32 kernels against zlib's crc32() on the same bytes: BufferCRC over a 64 MiB buffer, the
// byte-at-a-time definition it must match, and GetFileCRC over a 64 MiB file in the page cache
// against reading the same file and running crc32() over it.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "record/job_context.h"
#include "record/job_state.h"
#include "rules/bhelper.h"

namespace {

constexpr size_t kBufferBytes = size_t{64} << 20;

const std::string& RandomBytes() {
  static const std::string bytes = [] {
    std::string b(kBufferBytes, '\0');
    std::mt19937_64 random(42);
    for (size_t i = 0; i + 8 <= b.size(); i += 8) {
      const uint64_t v = random();
      for (int k = 0; k < 8; ++k) b[i + k] = static_cast<char>(v >> (8 * k));
    }
    return b;
  }();
  return bytes;
}

const unsigned char* Data() { return reinterpret_cast<const unsigned char*>(RandomBytes().data()); }

void SetBytes(benchmark::State& state, size_t perIteration) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perIteration));
}

void BM_BufferCRC(benchmark::State& state) {
  cw::CBHelper::BuildCRCTable();
  const unsigned char* data = Data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(cw::CBHelper::BufferCRC(data, static_cast<uint32_t>(kBufferBytes)));
  }
  SetBytes(state, kBufferBytes);
}
BENCHMARK(BM_BufferCRC)->Unit(benchmark::kMillisecond);

void BM_ZlibCrc32(benchmark::State& state) {
  const unsigned char* data = Data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32(0L, data, static_cast<uInt>(kBufferBytes)));
  }
  SetBytes(state, kBufferBytes);
}
BENCHMARK(BM_ZlibCrc32)->Unit(benchmark::kMillisecond);

// The definition, one byte and one lookup per step, over zlib's table (the same 256 values).
void BM_ByteAtATimeCRC(benchmark::State& state) {
  const z_crc_t* table = get_crc_table();
  const unsigned char* data = Data();
  for (auto _ : state) {
    uint32_t h = 0xFFFFFFFFu;
    for (size_t i = 0; i < kBufferBytes; ++i) h = (h >> 8) ^ table[(h ^ data[i]) & 0xFF];
    benchmark::DoNotOptimize(~h);
  }
  SetBytes(state, kBufferBytes);
}
BENCHMARK(BM_ByteAtATimeCRC)->Unit(benchmark::kMillisecond);

// A 64 MiB file in the temporary folder, read warm: this measures the program's own work, not
// the disk.
class FileCrc : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State&) override {
    platform_ = cw::MakePosixPlatform({.mappings = {}, .discoverMounts = false,
                                       .instantSleeps = true});
    path_ = platform_->GetTempPath() + "cardwright-bench-crc.bin";
    std::unique_ptr<cw::File> file = platform_->OpenFile(path_, cw::OpenMode::CreateAlways);
    ok_ = file && file->Write(RandomBytes().data(), static_cast<uint32_t>(kBufferBytes)) &&
          file->Close();
  }
  void TearDown(const benchmark::State&) override { platform_->DeleteFile(path_); }

 protected:
  std::unique_ptr<cw::Platform> platform_;
  std::string path_;
  bool ok_ = false;
  cw::JobContext job_;
};

BENCHMARK_DEFINE_F(FileCrc, GetFileCRC)(benchmark::State& state) {
  if (!ok_) return state.SkipWithError("cannot write the file");
  cw::JobState run(*platform_, job_);
  for (auto _ : state) benchmark::DoNotOptimize(cw::CBHelper::GetFileCRC(run.platform, run, path_));
  SetBytes(state, kBufferBytes);
}
BENCHMARK_REGISTER_F(FileCrc, GetFileCRC)->Unit(benchmark::kMillisecond);

// The same whole-file read through the platform, then zlib's crc32().
BENCHMARK_DEFINE_F(FileCrc, ReadThenZlibCrc32)(benchmark::State& state) {
  if (!ok_) return state.SkipWithError("cannot write the file");
  for (auto _ : state) {
    std::unique_ptr<cw::File> file = platform_->OpenFile(path_, cw::OpenMode::Read);
    uint64_t size = 0;
    file->GetSize(&size);
    std::string buffer(size, '\0');
    uint32_t got = 0;
    file->Read(buffer.data(), static_cast<uint32_t>(size), &got);
    file->Close();
    benchmark::DoNotOptimize(
        crc32(0L, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(got)));
  }
  SetBytes(state, kBufferBytes);
}
BENCHMARK_REGISTER_F(FileCrc, ReadThenZlibCrc32)->Unit(benchmark::kMillisecond);

}  // namespace
