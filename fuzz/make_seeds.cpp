// Writes the seed corpora of the fuzz targets with the package and CRC list writers:
//   make_fuzz_seeds DIR      -> DIR/<target>/<seed>
// The seeds in the repository were made by this program; run it again after a format change.

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "fuzz_job.h"
#include "record/job_context.h"
#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "support/package_builder.h"

using namespace cw;

namespace {

bool Put(const std::string& dir, const std::string& target, const std::string& name,
         const std::string& bytes) {
  const std::string folder = dir + "/" + target;
  mkdir(folder.c_str(), 0755);
  const std::string path = folder + "/" + name;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

PackageSpec EnginePackage() {
  PackageSpec spec{.headerWords = {1, 2, 3, 4, 5, 6}, .releaseNumber = 7};
  spec.engineVersion = 2;
  spec.engineRevision = 15;
  spec.engineLetter = 'B';
  spec.files.push_back(test::MakeFile(kKindEngine2, "APP\\MAIN.BIN", "engine main program"));
  spec.files.push_back(test::MakeFile(kKindEngine13, "CFG\\PARAMS.DAT", "params"));
  spec.files.push_back(test::MakeFile(kKindCommon, "README.TXT", "common text"));
  return spec;
}

PackageSpec PanelPackage(bool with3950) {
  PackageSpec spec{.releaseNumber = 12, .winceIncluded = 1, .panel3950Support = with3950};
  spec.files.push_back(test::MakeFile(kKindPanel3940, "NK.BIN", "3940 os image"));
  spec.files.push_back(test::MakeFile(kKindPanel3940Raw, "HARDDISK\\APP.EXE", "raw 3940"));
  spec.files.push_back(test::MakeFile(kKindPanel3950, "NK.NBG", "3950 os image"));
  spec.files.push_back(test::MakeFile(kKindPanel3950Raw, "HARDDISK\\APP3950.EXE", "raw"));
  spec.files.push_back(test::MakeFile(kKindCommonRaw, "WD\\CRCFILE.TXT", "wd list"));
  spec.files.push_back(test::MakeFile(kKindEngine2, "ENGINE.BIN", "not for a panel"));
  return spec;
}

PackageSpec TenZeroPackage() {
  PackageSpec spec{.headerWords = {10, 0, 0, 0, 0, 0}};
  spec.files.push_back(test::MakeFile(kKindPanel3940, "BOOT.BMP", "boot bitmap"));
  return spec;
}

PackageSpec OldFormatPackage() {
  PackageSpec spec;
  spec.formatRevision = 7;  // 1.007: no generator keywords
  spec.generatorVersion.reset();
  spec.generatorRevision.reset();
  spec.generatorLetter.reset();
  spec.files.push_back(test::MakeFile(kKindEngine7, "OLD.BIN", "old"));
  return spec;
}

std::string PanelList() {
  return BuildCRCList({{"\\HARDDISK\\NK.BIN", 0x12345678},
                       {"\\HARDDISK\\APP.EXE", 0x9ABCDEF0},
                       {"\\BREVANT\\RELEASENUMBER", 0x0BADF00D},
                       {"\\QUORVANE FILE CRCS.DAT", 0}});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);
  const std::string engine = BuildPackage(EnginePackage());
  const std::string panel = BuildPackage(PanelPackage(false));
  const std::string panel3950 = BuildPackage(PanelPackage(true));
  const std::string tenZero = BuildPackage(TenZeroPackage());
  const std::string old = BuildPackage(OldFormatPackage());
  const std::string list = PanelList();
  using fuzz::Seed;

  bool ok = true;
  // Mode: bits 0-1 target, 2 storing, 3 with package, 4 matching CRC, 5-7 card copies.
  ok &= Put(dir, "load_info_array", "engine-store", Seed(0x01 | 0x04 | 0x10, engine));
  ok &= Put(dir, "load_info_array", "engine-stored-copy", Seed(0x01 | 0x10 | 0x20, engine));
  ok &= Put(dir, "load_info_array", "3950-stored-copy", Seed(0x01 | 0x10 | 0x40, panel3950));
  ok &= Put(dir, "load_info_array", "3940-store", Seed(0x02 | 0x04 | 0x10, panel));
  ok &= Put(dir, "load_info_array", "3950-verify", Seed(0x03 | 0x08 | 0x10, panel3950));
  ok &= Put(dir, "load_info_array", "10-0-3950", Seed(0x03 | 0x04 | 0x10, tenZero));
  ok &= Put(dir, "load_info_array", "3940-crc-list", Seed(0x02, list));
  ok &= Put(dir, "load_info_array", "3950-crc-list-wd", Seed(0x03 | 0x80, list));
  ok &= Put(dir, "load_info_array", "unknown-old", Seed(0x00 | 0x04 | 0x10, old));

  ok &= Put(dir, "version_block", "engine", engine);
  ok &= Put(dir, "version_block", "panel", panel3950);
  ok &= Put(dir, "version_block", "old-format", old);

  ok &= Put(dir, "crc_list", "3940", Seed(0x02, list));
  ok &= Put(dir, "crc_list", "3950", Seed(0x01 | 0x02, list));
  ok &= Put(dir, "crc_list", "empty", Seed(0x00, BuildCRCList({})));

  // Mode bit 0 keeps the package's CRC as it is.
  ok &= Put(dir, "stored_package", "engine", Seed(0x00, engine));
  ok &= Put(dir, "stored_package", "3950-support", Seed(0x00, panel3950));
  ok &= Put(dir, "stored_package", "unchecked", Seed(0x01, BuildPackage(PackageSpec{.setCrc = false})));

  // Mode: bits 0-1 target, bit 2 keeps the package's CRC as it is.
  ok &= Put(dir, "extraction", "engine", Seed(0x01, engine));
  ok &= Put(dir, "extraction", "3940", Seed(0x02, panel));
  ok &= Put(dir, "extraction", "3950", Seed(0x03, panel3950));
  ok &= Put(dir, "extraction", "10-0-3950", Seed(0x03, tenZero));

  ok &= Put(dir, "inspect", "engine", engine);
  ok &= Put(dir, "inspect", "panel", panel3950);
  ok &= Put(dir, "inspect", "ten-zero", tenZero);
  ok &= Put(dir, "inspect", "unchecked", BuildPackage(PackageSpec{.setCrc = false}));
  if (!ok) {
    std::fprintf(stderr, "make_fuzz_seeds: could not write the seeds under %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
