// Loading a package of 10,000 records with LoadInfoArray: the whole package is read into one
// buffer, its CRC checked and every record checked and filtered. Must stay well under a second.

#include <benchmark/benchmark.h>

#include <memory>

#include "record/job_context.h"
#include "record/job_state.h"
#include "package/file_table.h"
#include "job/load_info_array.h"
#include "package/package_writer.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"

namespace {

std::string BuildLargePackage(int records) {
  cw::PackageSpec spec;
  spec.files.reserve(records);
  for (int i = 0; i < records; ++i) {
    const int32_t kinds[] = {cw::kKindEngine2, cw::kKindPanel3940, cw::kKindPanel3950Raw,
                             cw::kKindCommonRaw};
    spec.files.push_back({.kind = kinds[i % 4],
                          .cardPath = "DATA\\FOLDER" + std::to_string(i / 100) + "\\FILE" +
                                      std::to_string(i) + ".BIN",
                          .checkPath = "",
                          .content = std::string(64, char('a' + i % 26))});
  }
  return cw::BuildPackage(spec);
}

void BM_LoadInfoArray10000(benchmark::State& state) {
  std::unique_ptr<cw::Platform> platform =
      cw::MakePosixPlatform({.mappings = {}, .discoverMounts = false, .instantSleeps = true});
  const std::string path = platform->GetTempPath() + "cardwright-bench-10000.FWP";
  if (!cw::WriteBytesToFile(*platform, path, BuildLargePackage(10000))) {
    state.SkipWithError("cannot write the package");
    return;
  }
  cw::JobContext job;
  cw::JobState run(*platform, job);
  run.globalFWPDataFilePath = path;
  run.targetType = cw::kTargetPanel3940;
  cw::LoadedPackage package;
  for (auto _ : state) {
    package.packageBytes = 0;
    if (!cw::LoadInfoArray(run, package, cw::Reference::kStoring, path))
      state.SkipWithError("the package did not load");
    benchmark::DoNotOptimize(package.fileTable.data());
  }
  state.SetLabel(std::to_string(package.fileTable.size()) + " records");
  platform->DeleteFile(path);
}
BENCHMARK(BM_LoadInfoArray10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
