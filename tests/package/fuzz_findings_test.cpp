// Inputs the fuzz targets (fuzz/) found to misbehave, kept as tests. The sanitizer build
// (make test) turns the undefined behaviour they once caused into failures.

#include <gtest/gtest.h>

#include <climits>

#include "job/read_version_block.h"
#include "package/byte_reader.h"
#include "package/package_writer.h"
#include "package/version_block.h"
#include "support/job_fixture.h"

namespace cw {
namespace {

// An empty file read whole gives a buffer without storage; scanning it for a line end once
// passed a null pointer to memchr.
TEST(FuzzFindingsTest, EmptyBufferReadsEmptyLinesAndNoVersionBlock) {
  const Bytes empty;
  ByteReader reader(empty);
  EXPECT_EQ(reader.ReadLine(), "");
  EXPECT_EQ(reader.ReadLine(), "");
  EXPECT_TRUE(reader.AtEnd());
  const VersionBlockRead read = ParseVersionBlock(empty);
  EXPECT_FALSE(read.found);
  EXPECT_FALSE(read.formatVersion.has_value());
}

// A format version whose number (version × 1000 + revision) does not fit 32 bits once
// wrapped around into a small, old format: 4294968 × 1000 + 9 wrapped to 713, so the package
// passed the store job's "1010 or more is refused" check and the generator was not read.
TEST(FuzzFindingsTest, HugeFormatVersionStaysHugeInsteadOfWrappingToAnOldFormat) {
  test::JobScope scope;
  PackageVersions versions;
  PackageSpec spec;
  spec.formatVersion = 4294968;
  spec.formatRevision = 9;
  spec.generatorVersion = 5;
  const std::string bytes = scope.PutPackage(spec);

  const VersionBlockRead read =
      ParseVersionBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_TRUE(read.generatorSearched);
  ASSERT_TRUE(read.generatorVersion.has_value());
  EXPECT_EQ(*read.generatorVersion, 5);

  ReadVersionBlock(scope.fake, test::kPackagePath, scope.job, versions, "", "");
  EXPECT_EQ(versions.fwpVersion, INT32_MAX);
  EXPECT_EQ(versions.versionBlock.formatVersion, 4294968);
}

TEST(FuzzFindingsTest, HugeNegativeFormatVersionStaysBelowEveryFormat) {
  test::JobScope scope;
  PackageVersions versions;
  PackageSpec spec;
  spec.formatVersion = -4294968;
  spec.formatRevision = 0;
  scope.PutPackage(spec);
  ReadVersionBlock(scope.fake, test::kPackagePath, scope.job, versions, "", "");
  EXPECT_EQ(versions.fwpVersion, INT32_MIN);
}

}  // namespace
}  // namespace cw
