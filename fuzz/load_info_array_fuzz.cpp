// LoadInfoArray over any package, stored copy or CRC list, for each target type and job kind.
//
// Mode byte: bits 0-1 targetType, bit 2 storing, bit 3 verify with the package, bit 4 give the
// package a matching CRC (so most inputs get past the CRC check), bit 5 put the data on the card
// as "UPGRADE.FWP", bit 6 as "FWP_3950.FWP", bit 7 as "\WD\CRCFile.txt". The card's two CRC
// lists always hold the data as it came.

#include <cstdint>
#include <string>

#include "fuzz_job.h"
#include "record/job_state.h"
#include "package/card_path.h"
#include "package/file_table.h"
#include "job/load_info_array.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

using namespace cw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const fuzz::ModeAndData in = fuzz::Split(input, size);
  test::JobScope scope;
  scope.state.targetType = in.mode & 3;
  const Reference reference = (in.mode >> 2) & 1   ? Reference::kStoring
                              : (in.mode >> 3) & 1 ? Reference::kPackage
                                                   : Reference::kCard;
  const std::string package = (in.mode & 0x10) ? fuzz::WithMatchingCrc(in.data) : in.data;
  scope.fake.WriteFile(test::kPackagePath, package);
  if (in.mode & 0x20) scope.fake.WriteFile("E:\\UPGRADE.FWP", package);
  if (in.mode & 0x40) scope.fake.WriteFile("E:\\FWP_3950.FWP", package);
  if (in.mode & 0x80) scope.fake.WriteFile("E:\\WD\\CRCFile.txt", in.data);
  scope.fake.WriteFile("E:\\Quorvane File CRCs.dat", in.data);
  scope.fake.WriteFile("E:\\Quorvane File CRCs 3950.dat", in.data);

  LoadedPackage loadedPackage;
  const bool loaded = LoadInfoArray(scope.state, loadedPackage, reference, test::kPackagePath);

  fuzz::Check(scope.FileClosed(), "the package file is closed on every way out");
  if (!loaded) {
    fuzz::Check(scope.prompt.Count() >= 1, "a refused load shows a message");
    return 0;
  }
  for (const FILE_INFO_STRUCT& record : loadedPackage.fileTable) {
    fuzz::Check(CardPathIsSafe(FieldText(record.cardPath)), "every loaded path is on the card");
    fuzz::Check(record.dataOffset >= 0 && record.storedSize >= 0 && record.fileSize >= 0,
                "no loaded size or offset is negative");
    fuzz::Check(uint64_t(record.dataOffset) + uint64_t(record.storedSize) <= package.size(),
                "every loaded record's data lies inside the package");
  }
  return 0;
}
