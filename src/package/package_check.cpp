#include "package/package_check.h"

#include "record/job_io.h"
#include "package/byte_reader.h"
#include "package/package_parser.h"
#include "platform/platform.h"

namespace cw {

namespace {

bool CheckPackage(JobState& state, File& file, Bytes* whole, PackageCrcs* crcs) {
  if (whole) whole->clear();
  state.Log("VerifyFWPFile");
  uint8_t field[4];
  uint32_t got = 0;
  const bool readField = file.Seek(0, SeekFrom::Begin) && file.Read(field, 4, &got) && got == 4;
  if (!readField) {
    file.Seek(0, SeekFrom::Begin);
    return false;
  }
  uint32_t stored = 0;
  ByteReader(field, 4).ReadUInt32(&stored);
  if (crcs) crcs->stored = stored;
  bool passed = stored == 0;
  if (!passed) {
    Bytes bytes;
    if (ReadWholeFile(file, UINT32_MAX, &bytes)) {
      const uint32_t computed = PackageCrcOf(bytes.data(), bytes.size());
      if (crcs) crcs->computed = computed;
      passed = computed == stored;
    }
    if (passed && whole) whole->swap(bytes);
  }
  file.Seek(0, SeekFrom::Begin);
  return passed;
}

}  // namespace

bool VerifyFWPFile(JobState& state, File& file) {
  return CheckPackage(state, file, nullptr, nullptr);
}
bool VerifyFWPFile(JobState& state, File& file, Bytes* whole) {
  return CheckPackage(state, file, whole, nullptr);
}
bool VerifyFWPFile(JobState& state, File& file, PackageCrcs* crcs) {
  return CheckPackage(state, file, nullptr, crcs);
}

}  // namespace cw
