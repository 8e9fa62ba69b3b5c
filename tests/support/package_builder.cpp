#include "support/package_builder.h"

#include <cstring>

#include "package/crc_list_writer.h"
#include "support/crc.h"

namespace cw::test {

PackageFileSpec MakeFile(int32_t kind, const std::string& cardPath, const std::string& content) {
  return PackageFileSpec{.kind = kind, .cardPath = cardPath, .checkPath = "", .content = content};
}

PackageSpec EngineRelease(const std::string& main, const std::string& library) {
  PackageSpec spec{.generatorVersion = 2, .generatorRevision = 15, .generatorLetter = 'B'};
  spec.files.push_back(MakeFile(kKindEngine2, "APP\\MAIN.BIN", main));
  if (!library.empty()) {
    spec.files.push_back(MakeFile(kKindEngine7, "APP\\LIB\\UTIL.DLL", library));
  }
  return spec;
}

PackageSpec FullEngineRelease(const std::string& main) {
  PackageSpec spec{.releaseNumber = 42, .engineVersion = 2, .engineRevision = 15,
                   .engineLetter = 'B'};
  spec.files = {MakeFile(kKindEngine2, "APP\\MAIN.BIN", main),
                MakeFile(kKindEngine7, "APP\\TABLES.DAT", "tables"),
                MakeFile(kKindCommon, "CONFIG\\UNITS.TXT", "units: metric"),
                MakeFile(kKindCommonRaw, "DOCS\\README.TXT", "read me"),
                MakeFile(kKindPanel3940, "BREVANT\\PANEL.EXE", "3940 panel"),
                MakeFile(kKindPanel3950, "BREVANT\\PANEL3950.EXE", "3950 panel")};
  return spec;
}

PackageSpec PanelRelease(const std::string& app) {
  PackageSpec spec;
  spec.releaseNumber = 0x01020304;
  spec.winceIncluded = 1;
  spec.files.push_back({.kind = kKindPanel3940, .cardPath = "NK.BIN", .content = "new os"});
  spec.files.push_back({.kind = kKindPanel3940, .cardPath = "BREVANT\\APP.EXE", .content = app});
  spec.files.push_back({.kind = kKindPanel3940, .cardPath = "BREVANT\\HELP.TXT", .content = "h"});
  spec.files.push_back({.kind = kKindPanel3940Raw,
                        .cardPath = "Quorvane File CRCs.dat",
                        .content = BuildCRCList({{"NK.BIN", Crc("new os")},
                                                 {"BREVANT\\APP.EXE", Crc(app)},
                                                 {"BREVANT\\HELP.TXT", Crc("h")}})});
  return spec;
}

bool SameRecord(const FILE_INFO_STRUCT& a, const FILE_INFO_STRUCT& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string LittleEndian(uint32_t value) {
  std::string out;
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
  return out;
}

}  // namespace cw::test
