// Extraction lists each card folder only until it is known to hold something: a folder of many
// files must not be listed once per file (time growing with the square of its size).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "record/job_state.h"
#include "package/extraction.h"
#include "job/load_info_array.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::JobScope;
using test::MakeFile;

class ExtractionFoldersTest : public ::testing::Test {
 protected:
  void Load(const PackageSpec& spec) {
    scope.PutPackage(spec);
    scope.state.targetType = kTargetEngine;
    ASSERT_TRUE(scope.LoadToStore(package));
    scope.fake.ClearCalls();
  }
  JobScope scope;
  LoadedPackage package;
};

TEST_F(ExtractionFoldersTest, AFolderOfManyFilesIsListedOnlyUntilItHoldsOne) {
  PackageSpec spec;
  for (int i = 0; i < 60; ++i) {
    spec.files.push_back(MakeFile(kKindEngine2, "DATA\\F" + std::to_string(i) + ".BIN", "x"));
  }
  Load(spec);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.state.filesStored, 60);
  // Once before the folder exists, once when it holds the first file; never again.
  EXPECT_LE(scope.fake.CallCount("FindFiles", "E:\\DATA\\*.*"), 2u);
  EXPECT_LE(scope.fake.CallCount("FindFiles", "E:\\*.*"), 2u);
  EXPECT_EQ(scope.fake.ReadFile("E:\\DATA\\F59.BIN"), "x");
}

TEST_F(ExtractionFoldersTest, EachNewFolderIsStillCreatedAndLoggedOnce) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "A\\ONE.BIN", "1"), MakeFile(kKindEngine2, "B\\TWO.BIN", "2"),
                MakeFile(kKindEngine2, "A\\SUB\\THREE.BIN", "3"),
                MakeFile(kKindEngine2, "A\\FOUR.BIN", "4")};
  Load(spec);
  ASSERT_TRUE(Decompress(scope.state, package));
  const auto lines = scope.LogLines();
  for (const char* pattern : {"E:\\A\\*.*", "E:\\B\\*.*", "E:\\A\\SUB\\*.*"}) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("    creating directory ") + pattern),
              1)
        << pattern;
  }
  EXPECT_EQ(scope.fake.ReadFile("E:\\A\\SUB\\THREE.BIN"), "3");
  EXPECT_EQ(scope.fake.ReadFile("E:\\A\\FOUR.BIN"), "4");
}

}  // namespace
}  // namespace cw
