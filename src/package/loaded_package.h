#pragma once
// What the loader (job/load_info_array.h) makes of a package, or of a card's own reference:
// the file table of the job's target and what the package's header says. The job keeps one and
// hands it to the steps that work from it: extraction, the stored copies, the cleaning, the
// verification.

#include <array>
#include <cstdint>
#include <vector>

#include "package/byte_reader.h"
#include "package/file_table.h"
#include "platform/target_type.h"
#include "record/package_versions.h"

namespace cw {

struct LoadedPackage {
  // The file table, replaced by each load.
  std::vector<FILE_INFO_STRUCT> fileTable;
  // The six header words of the last package read (only words 1 and 2 are interpreted).
  std::array<int32_t, 6> headerWords{};
  int32_t releaseNumber = 0;
  // The package's version values, read by the job from the package it works with before the
  // upgrade record is made: what "FWPVers.bin" and the record describe.
  PackageVersions versions;
  // The package carries the panel's OS image (the verification of a card's own reference
  // counts it as carried).
  int32_t osInPackage = 0;
  // Set by a package's "3950 PANEL SUPPORT", or by an Engine card's stored 3950 copy; never
  // cleared by a load.
  int32_t has3950Support = 0;
  // The unpacked bytes of the target panel's files, added to by each load.
  uint64_t packageBytes = 0;
  // The whole package as the store job's load read it, at one go: the check, the table, the
  // extraction and the stored copies all work from these bytes, so the package is read once
  // and what goes onto the card is what was checked. Empty outside a store, and let go once
  // nothing needs them any more.
  Bytes packageData;
  // Extraction's buffer for one inflated file, made as large as the largest while the load
  // still refuses (so a package that does not fit is known before the card changes), and
  // let go with the package's bytes.
  Bytes inflateBuffer;
  // The records of each stored copy of a package with 3950 support, with their offsets in it
  // once the copy is written; emptied by each WriteStoredPackages.
  std::vector<FILE_INFO_STRUCT> split3940Table;  // "UPGRADE.FWP"
  std::vector<FILE_INFO_STRUCT> split3950Table;  // "FWP_3950.FWP"

  // A "10/0 package": header word 1 is 10 and word 2 is 0; it changes the loader's filter and
  // the protection rule for 3950 panel cards.
  bool IsTenZeroPackage() const { return headerWords[0] == 10 && headerWords[1] == 0; }
  // Such a package without its own OS image, for a 3950 panel: every file on the card stays.
  bool KeepsWholeCard(int32_t targetType) const {
    return IsTenZeroPackage() && targetType == kTargetPanel3950 && osInPackage == 0;
  }
};

}  // namespace cw
