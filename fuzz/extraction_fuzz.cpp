// Extraction: any package the loader accepts for a store is inflated onto the in-memory card
// (Decompress), damaged zlib data and lying sizes included.
//
// Mode byte: bits 0-1 targetType, bit 2 leaves the package's CRC as it came (else it is made to
// match, so most inputs reach the extraction).

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_job.h"
#include "record/job_state.h"
#include "package/extraction.h"
#include "package/file_table.h"
#include "job/load_info_array.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

using namespace cw;

namespace {

// Everything on drive C: (where the package and the log live), by folder.
std::vector<std::vector<std::string>> OutsideTheCard(const FakePlatform& fake) {
  return {fake.List("C:\\"), fake.List("C:\\WORK")};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const fuzz::ModeAndData in = fuzz::Split(input, size);
  test::JobScope scope;
  scope.state.targetType = in.mode & 3;
  scope.fake.WriteFile(test::kPackagePath,
                       (in.mode & 4) ? in.data : fuzz::WithMatchingCrc(in.data));
  LoadedPackage package;
  if (!LoadInfoArray(scope.state, package, Reference::kStoring, test::kPackagePath)) return 0;

  const auto before = OutsideTheCard(scope.fake);
  const size_t messagesBefore = scope.prompt.Count();
  scope.state.filesStored = 0;
  const bool extracted = Decompress(scope.state, package);

  fuzz::Check(scope.FileClosed(), "the package file is closed");
  fuzz::Check(OutsideTheCard(scope.fake) == before, "nothing is written outside the card");
  fuzz::Check(extracted || scope.prompt.Count() > messagesBefore, "a failure shows a message");
  fuzz::Check(scope.state.filesStored >= 0 &&
                  size_t(scope.state.filesStored) <= package.fileTable.size(),
              "no more files are stored than the table holds");
  return 0;
}
