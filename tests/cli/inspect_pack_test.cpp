// End to end: a technician builds a package with `cardwright pack` and reads it back with
// `cardwright inspect`.

#include <gtest/gtest.h>

#include <cstring>

#include "package/file_table.h"
#include "package/package_writer.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace cw {
namespace {

using test::CommandResult;
using test::RunCardwright;
using test::TempDir;

class InspectPackTest : public ::testing::Test {
 protected:
  CommandResult Run(const std::vector<std::string>& args) {
    return RunCardwright(args, {{"HOME", home.path()}});
  }
  TempDir home;
  TempDir work;
};

constexpr const char* kManifest = R"(# a test release
title "TEST RELEASE"
header 10 0 3 4 5 -6
release 42
format 1 9 A
generator 2 15 B
engine 2 15 B
panel 10 3 -
wince 1
panel3950 on
crc on

file 2 "APP\MAIN.BIN" - engine/main.bin
file 3 "Brevant\Panel.exe" "Brevant\Panel.exe" panel/p3940.exe
file 12 "NK.NBG" - panel/nk.nbg
file 14 "TOOLS\Read me.txt" "CHECK\Read me.txt" readme.txt
crclist 3940 "Quorvane File CRCs.dat"
)";

void WriteSources(const TempDir& dir) {
  dir.Write("pkg/engine/main.bin", std::string(5000, 'e'));
  dir.Write("pkg/panel/p3940.exe", "panel 3940 application");
  dir.Write("pkg/panel/nk.nbg", std::string("OS\0image", 8));
  dir.Write("pkg/readme.txt", "read me");
}

TEST_F(InspectPackTest, PackThenInspectReadsBackVersionsHeaderValuesAndRecords) {
  WriteSources(work);
  const std::string manifest = work.Write("pkg/manifest.txt", kManifest);
  const std::string package = work.Sub("OUT.FWP");
  const CommandResult pack = Run({"pack", manifest, "-o", package});
  ASSERT_EQ(pack.exitCode, 0) << pack.err;
  EXPECT_NE(pack.out.find("5 files"), std::string::npos) << pack.out;

  const CommandResult inspect = Run({"inspect", package});
  ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
  const std::string& out = inspect.out;
  for (const char* line :
       {"Engine Software Version: 2.015B\n", "Panel Software Version: 10.003\n",
        "Format version: 1\n", "Format revision: 9\n", "Format letter: A\n",
        "Generator version: 2\n", "Generator revision: 15\n", "Generator letter: B\n",
        "Release number: 42\n", "Header words: 10 0 3 4 5 -6\n", "WINCE INCLUDED: 1\n",
        "3950 panel support: yes\n", "Files: 5\n"}) {
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  }
  EXPECT_NE(out.find(" ok\n"), std::string::npos) << out;  // the package CRC
  // One row per record: kind, stored size, file size, CRC, card path, check path.
  EXPECT_NE(out.find("      5000  "), std::string::npos) << out;
  EXPECT_NE(out.find("\"APP\\MAIN.BIN\"  \"APP\\MAIN.BIN\""), std::string::npos) << out;
  EXPECT_NE(out.find("  14           7           7  "), std::string::npos) << out;
  EXPECT_NE(out.find("\"TOOLS\\Read me.txt\"  \"CHECK\\Read me.txt\""), std::string::npos) << out;
  EXPECT_NE(out.find("  11  "), std::string::npos) << out;  // the CRC list, stored as is
  EXPECT_NE(out.find("\"Quorvane File CRCs.dat\""), std::string::npos) << out;
  EXPECT_EQ(out.find("!"), std::string::npos) << out;
}

TEST_F(InspectPackTest, AnUncheckedOrDamagedPackageShowsItsCRCState) {
  WriteSources(work);
  std::string text = kManifest;
  text.replace(text.find("crc on"), 6, "crc off");
  const std::string manifest = work.Write("pkg/manifest.txt", text);
  ASSERT_EQ(Run({"pack", manifest, "-o", work.Sub("A.FWP")}).exitCode, 0);
  CommandResult inspect = Run({"inspect", work.Sub("A.FWP")});
  EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
  EXPECT_NE(inspect.out.find("Package CRC: 0 (not checked)"), std::string::npos);

  ASSERT_EQ(Run({"pack", work.Write("pkg/m2.txt", kManifest), "-o", work.Sub("B.FWP")}).exitCode, 0);
  std::string bytes = work.Read("B.FWP");
  bytes[bytes.size() - 2] ^= 0x40;
  work.Write("B.FWP", bytes);
  inspect = Run({"inspect", work.Sub("B.FWP")});
  EXPECT_EQ(inspect.exitCode, 1);
  EXPECT_NE(inspect.out.find("MISMATCH"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.err.find("FWP file failed CRC test!"), std::string::npos) << inspect.err;
}

TEST_F(InspectPackTest, InspectListsAHostilePathButFlagsItAndFails) {
  PackageSpec spec;
  spec.files = {PackageFileSpec{.kind = 2, .cardPath = "..\\..\\EVIL.DLL", .content = "x"},
                PackageFileSpec{.kind = 2, .cardPath = "GOOD.BIN", .content = "y"}};
  work.Write("EVIL.FWP", BuildPackage(spec));
  const CommandResult inspect = Run({"inspect", work.Sub("EVIL.FWP")});
  EXPECT_EQ(inspect.exitCode, 1);
  EXPECT_NE(inspect.out.find("\"..\\..\\EVIL.DLL\""), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("\"GOOD.BIN\""), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("! FWP file names a file outside the card:"), std::string::npos);
  EXPECT_NE(inspect.err.find("FWP file names a file outside the card:\n..\\..\\EVIL.DLL"),
            std::string::npos)
      << inspect.err;
}

TEST_F(InspectPackTest, InspectRefusesMissingTruncatedAndLyingPackages) {
  CommandResult result = Run({"inspect", work.Sub("NONE.FWP")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("FWP file could not be opened!"), std::string::npos) << result.err;

  PackageLayout layout;
  const std::string bytes =
      BuildPackage(PackageSpec{.files = {PackageFileSpec{.kind = 2, .cardPath = "A"}}}, &layout);
  work.Write("CUT.FWP", bytes.substr(0, 30));
  result = Run({"inspect", work.Sub("CUT.FWP")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("it ends inside its header"), std::string::npos) << result.err;

  work.Write("TABLE.FWP", bytes.substr(0, layout.tableOffset + 100));
  result = Run({"inspect", work.Sub("TABLE.FWP")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("it ends inside its file table"), std::string::npos) << result.err;

  work.Write("NOFORMAT.FWP", std::string(200, 'z'));
  result = Run({"inspect", work.Sub("NOFORMAT.FWP")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("Version block: not found"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find("Invalid FWP File Format!"), std::string::npos) << result.err;
}

TEST_F(InspectPackTest, PackRefusesBadManifests) {
  WriteSources(work);
  CommandResult result = Run({"pack", work.Write("pkg/bad.txt", "release x\n"), "-o",
                              work.Sub("X.FWP")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("manifest line 1"), std::string::npos) << result.err;

  result = Run({"pack", work.Write("pkg/evil.txt", "file 2 ..\\X.DLL - readme.txt\n"), "-o",
                work.Sub("X.FWP")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("..\\X.DLL"), std::string::npos) << result.err;

  result = Run({"pack", work.Write("pkg/missing.txt", "file 2 A.BIN - nothere.bin\n"), "-o",
                work.Sub("X.FWP")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("nothere.bin"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace cw
