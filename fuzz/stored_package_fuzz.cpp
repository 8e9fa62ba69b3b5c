// The stored-copy writer: any package the loader accepts for an Engine store is split into
// "UPGRADE.FWP" and "FWP_3950.FWP" (WriteStoredPackages, CreateNewFWPFile and the header
// rewrite), on the in-memory card.
//
// Mode byte: bit 0 leaves the package's CRC as it came (else it is made to match, so most inputs
// reach the writer).

#include <cstdint>
#include <string>

#include "fuzz_job.h"
#include "record/job_state.h"
#include "package/file_table.h"
#include "job/load_info_array.h"
#include "job/stored_packages.h"
#include "platform/platform.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "package/package_check.h"

using namespace cw;

namespace {

constexpr const char* kDataFolder = "C:\\DATA";

bool CopyChecksItself(JobState& state, const std::string& path) {
  std::unique_ptr<File> copy = state.platform.OpenFile(path, OpenMode::Read);
  return copy && VerifyFWPFile(state, *copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const fuzz::ModeAndData in = fuzz::Split(input, size);
  test::JobScope scope;
  scope.fake.AddFolder(kDataFolder);
  scope.state.targetType = kTargetEngine;
  scope.fake.WriteFile(test::kPackagePath,
                       (in.mode & 1) ? in.data : fuzz::WithMatchingCrc(in.data));
  LoadedPackage package;
  if (!LoadInfoArray(scope.state, package, Reference::kStoring, test::kPackagePath)) return 0;

  const size_t messagesBefore = scope.prompt.Count();
  scope.state.filesStored = 0;
  const bool written = WriteStoredPackages(scope.state, package, kDataFolder);

  fuzz::Check(scope.fake.List(kDataFolder).empty(), "the temporary files are gone");
  if (!written) {
    fuzz::Check(scope.prompt.Count() > messagesBefore, "a failed copy shows a message");
    return 0;
  }
  fuzz::Check(scope.state.filesStored == 2, "two copies are counted");
  fuzz::Check(CopyChecksItself(scope.state, "E:\\UPGRADE.FWP"), "UPGRADE.FWP carries its own CRC");
  fuzz::Check(CopyChecksItself(scope.state, "E:\\FWP_3950.FWP"),
              "FWP_3950.FWP carries its own CRC");
  return 0;
}
