#include "package/package_check.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "record/job_state.h"
#include "job/load_info_array.h"

namespace cw {
namespace {

using test::JobScope;
using test::kPackagePath;
using test::MakeFile;

class VerifyFWPFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<File> Put(const std::string& bytes) {
    scope.fake.WriteFile(kPackagePath, bytes);
    return scope.fake.OpenFile(kPackagePath, OpenMode::Read);
  }
  PackageSpec spec{.files = {MakeFile(2, "A.BIN", "alpha"), MakeFile(11, "B.BIN", "beta")}};
  JobScope scope;
  LoadedPackage package;
};

TEST_F(VerifyFWPFileTest, AMatchingChecksumPassesAndLeavesTheFileAtItsStart) {
  std::unique_ptr<File> file = Put(BuildPackage(spec));
  file->Seek(100, SeekFrom::Begin);
  EXPECT_TRUE(VerifyFWPFile(scope.state, *file));
  EXPECT_EQ(file->Tell(), 0);
  EXPECT_EQ(scope.LogLines(), std::vector<std::string>{"VerifyFWPFile"});
}

TEST_F(VerifyFWPFileTest, AnyChangedByteFailsAndTheFileIsStillAtItsStart) {
  const std::string good = BuildPackage(spec);
  for (size_t at : {size_t(4), size_t(40), good.size() - 1}) {
    std::string bad = good;
    bad[at] ^= 0x20;
    std::unique_ptr<File> file = Put(bad);
    EXPECT_FALSE(VerifyFWPFile(scope.state, *file)) << at;
    EXPECT_EQ(file->Tell(), 0);
  }
}

TEST_F(VerifyFWPFileTest, AZeroChecksumIsNotCheckedAndTheFileIsNotReadWhole) {
  spec.setCrc = false;
  std::string bytes = BuildPackage(spec);
  bytes[bytes.size() - 1] ^= 0x20;
  std::unique_ptr<File> file = Put(bytes);
  scope.fake.ClearCalls();
  EXPECT_TRUE(VerifyFWPFile(scope.state, *file));
  EXPECT_EQ(scope.fake.CallCount("Read"), 1u);
  EXPECT_EQ(file->Tell(), 0);
}

TEST_F(VerifyFWPFileTest, AFileTooShortForTheFieldOrThatCannotBeReadFails) {
  std::unique_ptr<File> tiny = Put(std::string("\x01\x02\x03", 3));
  EXPECT_FALSE(VerifyFWPFile(scope.state, *tiny));
  std::unique_ptr<File> file = Put(BuildPackage(spec));
  scope.fake.FailCall("Read", kErrIoDevice, 2);
  EXPECT_FALSE(VerifyFWPFile(scope.state, *file));
}

// The package check hands over the bytes it read, so the loader reads a package only once.
using CheckBytesTest = VerifyFWPFileTest;

TEST_F(CheckBytesTest, APassingCheckLeavesTheWholeFileUnchanged) {
  const std::string package = BuildPackage(spec);
  std::unique_ptr<File> file = Put(package);
  Bytes bytes{1, 2, 3};
  ASSERT_TRUE(VerifyFWPFile(scope.state, *file, &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), package);  // the CRC field as stored
  EXPECT_EQ(file->Tell(), 0);
}

TEST_F(CheckBytesTest, NoBytesWhenTheCheckFailsOrDidNotRead) {
  std::string bad = BuildPackage(spec);
  bad[40] ^= 0x20;
  std::unique_ptr<File> file = Put(bad);
  Bytes bytes{1, 2, 3};
  EXPECT_FALSE(VerifyFWPFile(scope.state, *file, &bytes));
  EXPECT_TRUE(bytes.empty());

  spec.setCrc = false;  // packageCrc 0: passes without being read
  file = Put(BuildPackage(spec));
  bytes = {1, 2, 3};
  EXPECT_TRUE(VerifyFWPFile(scope.state, *file, &bytes));
  EXPECT_TRUE(bytes.empty());
}

// With or without a checksum, the loader gets the same table.
TEST_F(CheckBytesTest, TheLoaderReadsTheSameTableWithOrWithoutAChecksum) {
  scope.state.targetType = kTargetEngine;
  scope.PutPackage(spec);
  ASSERT_TRUE(scope.LoadToStore(package));
  const std::vector<FILE_INFO_STRUCT> checked = package.fileTable;
  spec.setCrc = false;
  scope.PutPackage(spec);
  ASSERT_TRUE(scope.LoadToStore(package));
  ASSERT_EQ(package.fileTable.size(), checked.size());
  for (size_t i = 0; i < checked.size(); ++i) {
    EXPECT_EQ(FieldText(package.fileTable[i].cardPath), FieldText(checked[i].cardPath));
    EXPECT_EQ(package.fileTable[i].fileCrc, checked[i].fileCrc);
  }
  EXPECT_EQ(checked.size(), 2u);
}

}  // namespace
}  // namespace cw
