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

PackageLoad ReadCheckedPackage(JobState& state, File& file, uint64_t maxBytes, Bytes* bytes) {
  uint64_t size = 0;
  bool tooLarge = false;
  if (file.GetSize(&size) && size >= 4 && ReadWholeFile(file, maxBytes, bytes, &tooLarge)) {
    state.Log("VerifyFWPFile");
    uint32_t stored = 0;
    ByteReader(bytes->data(), 4).ReadUInt32(&stored);
    if (stored == 0 || PackageCrcOf(bytes->data(), bytes->size()) == stored) {
      return PackageLoad::kPassed;
    }
    *bytes = Bytes();
    return PackageLoad::kFailedCheck;
  }
  *bytes = Bytes();
  if (tooLarge) {
    state.Log("VerifyFWPFile");
    state.LogF("  the package (%llu bytes) cannot be held in memory.",
               static_cast<unsigned long long>(size));
    return PackageLoad::kTooLarge;
  }
  if (!CheckPackage(state, file, bytes, nullptr)) return PackageLoad::kFailedCheck;
  // A package with no checksum was not read by the check.
  if (bytes->size() > maxBytes || (bytes->empty() && !ReadWholeFile(file, maxBytes, bytes))) {
    *bytes = Bytes();
    return PackageLoad::kUnreadable;
  }
  return PackageLoad::kPassed;
}

bool VerifyFWPFile(JobState& state, File& file) {
  return CheckPackage(state, file, nullptr, nullptr);
}
bool VerifyFWPFile(JobState& state, File& file, Bytes* whole) {
  return CheckPackage(state, file, whole, nullptr);
}
bool VerifyFWPFile(JobState& state, File& file, PackageCrcs* crcs) {
  return CheckPackage(state, file, nullptr, crcs);
}
bool VerifyFWPFile(JobState& state, File& file, PackageCrcs* crcs, Bytes* whole) {
  return CheckPackage(state, file, whole, crcs);
}

}  // namespace cw
