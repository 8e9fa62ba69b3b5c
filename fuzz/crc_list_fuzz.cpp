// The CRC list readers: LoadArrayFromCRCFile, then VerifyCRCFile against the table it loaded,
// and FindOSImageCRC on the bytes and on the file.
//
// Mode byte: bit 0 the 3950 panel (else the 3940), bit 1 verify against a table loaded from the
// list (else against an empty one).

#include <cstdint>
#include <string>

#include "fuzz_job.h"
#include "record/job_state.h"
#include "package/card_path.h"
#include "package/file_table.h"
#include "platform/platform.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "verify/crc_list.h"

using namespace cw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const fuzz::ModeAndData in = fuzz::Split(input, size);
  test::JobScope scope;
  scope.state.targetType = (in.mode & 1) ? kTargetPanel3950 : kTargetPanel3940;
  const std::string listPath = CRCListPathFor(scope.state, scope.state.targetType);
  scope.fake.WriteFile(listPath, in.data);

  std::vector<FILE_INFO_STRUCT> fileTable;
  const bool loaded = LoadArrayFromCRCFile(scope.state, listPath, fileTable);
  if (loaded) {
    for (const FILE_INFO_STRUCT& record : fileTable) {
      fuzz::Check(CardPathIsSafe(FieldText(record.cardPath)), "every listed path is on the card");
    }
  } else {
    fuzz::Check(fileTable.empty(), "a refused list adds nothing");
    fuzz::Check(scope.prompt.Count() == 1, "a refused list shows one message");
  }
  if (!(in.mode & 2)) fileTable.clear();
  (void)VerifyCRCFile(scope.state, fileTable);

  const auto* bytes = reinterpret_cast<const uint8_t*>(in.data.data());
  const OSImageEntry fromBytes = FindOSImageCRC(bytes, in.data.size());
  if (fromBytes.outcome == OSImageSearch::kFound) {
    fuzz::Check(CardPathIsSafe(fromBytes.path), "the OS image found is on the card");
  }
  std::unique_ptr<File> file = scope.fake.OpenFile(listPath, OpenMode::Read);
  fuzz::Check(file != nullptr, "the list opens");
  const OSImageEntry fromFile = FindOSImageCRC(*file);
  fuzz::Check(fromFile.outcome == fromBytes.outcome && fromFile.path == fromBytes.path &&
                  fromFile.crc == fromBytes.crc,
              "the file and the bytes give the same entry");
  return 0;
}
