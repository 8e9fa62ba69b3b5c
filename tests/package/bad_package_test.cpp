// Damaged, truncated and hostile packages: the loader refuses them with a clear message, never
// reads past the end and never takes a record of them.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "record/job_state.h"
#include "package/file_table.h"
#include "job/load_info_array.h"
#include "package/package_parser.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::JobScope;
using test::kPackagePath;
using test::MakeFile;

PackageSpec ThreeFiles() {
  PackageSpec spec;
  spec.setCrc = false;  // so that cutting and patching does not trip the CRC test first
  spec.files = {MakeFile(2, "A.BIN", "first"), MakeFile(3, "B\\B.BIN", "second"),
                MakeFile(14, "C.TXT", "third")};
  return spec;
}

class BadPackageTest : public ::testing::Test {
 protected:
  void SetUp() override { scope.state.targetType = kTargetEngine; }
  // Loads `bytes` as the package and expects a refusal with `message` and an empty table.
  void ExpectRefused(const std::string& bytes, const std::string& message) {
    scope.fake.WriteFile(kPackagePath, bytes);
    EXPECT_FALSE(scope.LoadToStore(package));
    ASSERT_FALSE(scope.prompt.messages().empty());
    EXPECT_EQ(scope.prompt.messages().back(), message);
    EXPECT_NE(scope.job.diagnosticsText.Get().find(message), std::string::npos);
    EXPECT_TRUE(package.fileTable.empty());
    EXPECT_TRUE(scope.FileClosed());
  }
  // A package whose record `index` is patched by `patch`.
  std::string Patched(const PackageSpec& spec, int index,
                      const std::function<void(FILE_INFO_STRUCT&)>& patch) {
    PackageLayout layout;
    std::string bytes = BuildPackage(spec, &layout);
    FILE_INFO_STRUCT record = layout.records[index];
    patch(record);
    std::memcpy(bytes.data() + layout.tableOffset + index * sizeof record, &record, sizeof record);
    return bytes;
  }

  JobScope scope;
  LoadedPackage package;
};

TEST_F(BadPackageTest, APackageEndingInsideThePrefixIsRefused) {
  const std::string bytes = BuildPackage(ThreeFiles());
  ExpectRefused(bytes.substr(0, 20), kMsgEndsInHeader);
  ExpectRefused(bytes.substr(0, 31), kMsgEndsInHeader);
}

TEST_F(BadPackageTest, APackageEndingInsideAHeaderValueOrTheCountIsRefused) {
  const std::string bytes = BuildPackage(ThreeFiles());
  const size_t wince = bytes.find("WINCE INCLUDED: \r\n") + 18;
  ExpectRefused(bytes.substr(0, wince + 3), kMsgEndsInHeader);
  const size_t count = bytes.find("NUMBER OF FILES: \r\n") + 19;
  ExpectRefused(bytes.substr(0, count + 2), kMsgEndsInHeader);
}

TEST_F(BadPackageTest, APackageEndingInsideARecordIsRefused) {
  PackageLayout layout;
  const std::string bytes = BuildPackage(ThreeFiles(), &layout);
  ExpectRefused(bytes.substr(0, layout.tableOffset + 620 * 2 + 619), kMsgEndsInTable);
  ExpectRefused(bytes.substr(0, layout.tableOffset + 10), kMsgEndsInTable);
}

TEST_F(BadPackageTest, ACountLargerThanTheFileCanHoldIsRefusedBeforeAnyRecordIsRead) {
  PackageSpec spec = ThreeFiles();
  spec.fileCount = 0x7FFFFFFF;
  ExpectRefused(BuildPackage(spec), kMsgEndsInTable);
  spec.fileCount = 4;  // one more than there are: the data area cannot hold a whole record
  spec.files.pop_back();
  spec.files.pop_back();
  ExpectRefused(BuildPackage(spec), kMsgEndsInTable);
}

TEST_F(BadPackageTest, ANegativeCountIsAnEmptyTable) {
  PackageSpec spec = ThreeFiles();
  spec.fileCount = -5;
  scope.fake.WriteFile(kPackagePath, BuildPackage(spec));
  EXPECT_TRUE(scope.LoadToStore(package));
  EXPECT_TRUE(package.fileTable.empty());
}

TEST_F(BadPackageTest, NegativeSizesAreRefused) {
  ExpectRefused(Patched(ThreeFiles(), 1, [](FILE_INFO_STRUCT& r) { r.storedSize = -1; }),
                std::string(kMsgBadRecord) + "B\\B.BIN\r\n");
  ExpectRefused(Patched(ThreeFiles(), 0, [](FILE_INFO_STRUCT& r) { r.fileSize = -100; }),
                std::string(kMsgBadRecord) + "A.BIN\r\n");
}

TEST_F(BadPackageTest, DataOutsideTheFileIsRefused) {
  const size_t size = BuildPackage(ThreeFiles()).size();
  ExpectRefused(Patched(ThreeFiles(), 2, [](FILE_INFO_STRUCT& r) { r.dataOffset = -4; }),
                std::string(kMsgBadRecord) + "C.TXT\r\n");
  ExpectRefused(Patched(ThreeFiles(), 2,
                        [size](FILE_INFO_STRUCT& r) { r.dataOffset = int32_t(size) - 5; }),
                std::string(kMsgBadRecord) + "C.TXT\r\n");
  ExpectRefused(Patched(ThreeFiles(), 0, [](FILE_INFO_STRUCT& r) { r.storedSize = 0x7FFFFFF0; }),
                std::string(kMsgBadRecord) + "A.BIN\r\n");
  ExpectRefused(Patched(ThreeFiles(), 0,
                        [](FILE_INFO_STRUCT& r) {
                          r.dataOffset = 0x7FFFFFFF;
                          r.storedSize = 0x7FFFFFFF;
                        }),
                std::string(kMsgBadRecord) + "A.BIN\r\n");
}

TEST_F(BadPackageTest, DataThatEndsExactlyAtTheEndOfTheFileIsFine) {
  scope.fake.WriteFile(kPackagePath, BuildPackage(ThreeFiles()));
  EXPECT_TRUE(scope.LoadToStore(package));
  EXPECT_EQ(package.fileTable.size(), 3u);
}

TEST_F(BadPackageTest, TextFieldsWithoutATerminatorAreCutAt300Bytes) {
  const std::string bytes = Patched(ThreeFiles(), 0, [](FILE_INFO_STRUCT& r) {
    std::memset(r.cardPath, 'P', sizeof r.cardPath);
    std::memset(r.checkPath, 'Q', sizeof r.checkPath);
    r.dataOffset = 0;
    r.storedSize = 10;
  });
  scope.fake.WriteFile(kPackagePath, bytes);
  ASSERT_TRUE(scope.LoadToStore(package));
  ASSERT_EQ(package.fileTable.size(), 3u);
  EXPECT_EQ(FieldText(package.fileTable[0].cardPath), std::string(300, 'P'));
  EXPECT_EQ(FieldText(package.fileTable[0].checkPath), std::string(300, 'Q'));
  EXPECT_EQ(FieldText(package.fileTable[1].cardPath), "B\\B.BIN");
}

class HostilePathTest : public BadPackageTest,
                        public ::testing::WithParamInterface<std::string> {};

TEST_P(HostilePathTest, APathLeavingTheCardIsRefusedWhateverTheTarget) {
  PackageSpec spec = ThreeFiles();
  // A 3950 file on a 3940 card: the filter would leave it out, the package is refused anyway.
  spec.files.insert(spec.files.begin() + 1, MakeFile(9, GetParam(), "evil"));
  scope.state.targetType = kTargetPanel3940;
  ExpectRefused(BuildPackage(spec), std::string(kMsgUnsafePath) + GetParam() + "\r\n");
  EXPECT_EQ(scope.prompt.calls().back().icon, MessageIcon::Exclamation);
}

INSTANTIATE_TEST_SUITE_P(Paths, HostilePathTest,
                         ::testing::Values("..\\AUTOEXEC.BAT", "WINDOWS\\..\\..\\X.DLL",
                                           "A\\..", "C:\\WINDOWS\\X.DLL", "C:X.DLL",
                                           "\\\\SERVER\\SHARE\\X", "//server/share/x",
                                           "A/../../X", ".. \\X", "A\\...\\X", "NUL",
                                           "LOG\\COM1.TXT", "FILE.TXT:STREAM"));

// Names Windows would write under another name or open as a device: refused like the above.
INSTANTIATE_TEST_SUITE_P(NamesWindowsChanges, HostilePathTest,
                         ::testing::Values("BREVANT.\\APP.EXE", "APP.EXE.", "APP.EXE ",
                                           "DATA \\X.BIN", "com0", "LOG\\Lpt0.TXT",
                                           "COM\xC2\xB9", "lpt\xC2\xB3.dat",
                                           "COM\xB2.LOG"));

TEST_F(BadPackageTest, APathWithASingleLeadingBackslashStaysOnTheCard) {
  PackageSpec spec = ThreeFiles();
  spec.files.push_back(MakeFile(2, "\\WD\\CRCFile.txt", "list"));
  scope.fake.WriteFile(kPackagePath, BuildPackage(spec));
  EXPECT_TRUE(scope.LoadToStore(package));
  EXPECT_EQ(package.fileTable.size(), 4u);
}

}  // namespace
}  // namespace cw
