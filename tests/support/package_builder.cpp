#include "support/package_builder.h"

#include <cstring>

#include "package/crc_list_writer.h"
#include "support/crc.h"
#include "support/log_lines.h"

namespace cw::test {

JobScope::JobScope() {
  fake.AddDrive('E', DriveType::Removable, "FAT16", 64ull << 20);
  fake.AddFolder("C:\\WORK");
  log.SetLogFile(kLogPath);
  log.SetEnabled(true);
  job.log = &log;
  job.prompt = &prompt;
  state.globalFlashPath = kCard;
  state.globalFWPDataFilePath = kPackagePath;
}

std::string JobScope::PutPackage(const PackageSpec& spec, const std::string& path) {
  const std::string bytes = BuildPackage(spec);
  fake.WriteFile(path, bytes);
  return bytes;
}

std::vector<std::string> JobScope::LogLines() const {
  return LogMessages(fake.ReadFile(kLogPath));
}

PackageFileSpec MakeFile(int32_t kind, const std::string& cardPath, const std::string& content) {
  return PackageFileSpec{.kind = kind, .cardPath = cardPath, .checkPath = "", .content = content};
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
