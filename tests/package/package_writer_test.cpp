#include "package/package_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "package/byte_reader.h"
#include "package/package_parser.h"
#include "support/crc.h"
#include "support/package_builder.h"
#include "rules/bhelper.h"

namespace cw {
namespace {

using test::Crc;

using test::LittleEndian;
using test::MakeFile;


std::string Inflate(const std::string& stored, size_t size) {
  std::string out(size, '\0');
  uLongf outSize = size;
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &outSize,
                       reinterpret_cast<const Bytef*>(stored.data()), stored.size()),
            Z_OK);
  out.resize(outSize);
  return out;
}

TEST(PackageWriterTest, PrefixHoldsCrcHeaderWordsAndReleaseNumber) {
  PackageSpec spec{.headerWords = {10, 0, 3, 4, 5, -6}, .releaseNumber = 77};
  std::string bytes = BuildPackage(spec);
  EXPECT_EQ(bytes.substr(4, 24), LittleEndian(10) + LittleEndian(0) + LittleEndian(3) +
                                     LittleEndian(4) + LittleEndian(5) + LittleEndian(-6));
  EXPECT_EQ(bytes.substr(28, 4), LittleEndian(77));
  const std::string crcField = bytes.substr(0, 4);
  EXPECT_EQ(crcField, LittleEndian(Crc(bytes.replace(0, 4, std::string(4, '\0')))));

  spec.setCrc = false;
  EXPECT_EQ(BuildPackage(spec).substr(0, 4), std::string(4, '\0'));
}

TEST(PackageWriterTest, HeaderTextHasEveryKeywordWithItsValueAndLeavesOutUnsetOnes) {
  PackageSpec spec{.engineVersion = 2, .engineRevision = 15, .engineLetter = 'B',
                   .winceIncluded = 1, .panel3950Support = true};
  spec.panelRevision.reset();
  const std::string bytes = BuildPackage(spec);
  EXPECT_NE(bytes.find("Engine App Software Revision: \r\n" + LittleEndian(15) + "\r\n"),
            std::string::npos);
  EXPECT_NE(bytes.find("Engine App Software Letter: \r\nB\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find("Panel Software Revision: "), std::string::npos);
  EXPECT_NE(bytes.find("Panel Software Letter: "), std::string::npos);
  EXPECT_NE(bytes.find("WINCE INCLUDED: \r\n" + LittleEndian(1) + "\r\n3950 PANEL SUPPORT\r\n"
                       "NUMBER OF FILES: \r\n" + LittleEndian(0) + "\r\n\r\n"),
            std::string::npos);
  EXPECT_EQ(bytes.substr(32, 18), "FIRMWARE PACKAGE\r\n");
}

TEST(PackageWriterTest, RecordsAddressNameStampsFollowedByStoredOrCompressedData) {
  PackageSpec spec;
  const std::string text(3000, 'x');
  spec.files = {MakeFile(2, "APP\\MAIN.BIN", text), MakeFile(11, "RAW.BIN", "raw bytes"),
                MakeFile(14, "TOOLS\\T.EXE", ""), MakeFile(15, "ALL.DAT", "common")};
  PackageLayout layout;
  const std::string bytes = BuildPackage(spec, &layout);
  ASSERT_EQ(layout.records.size(), 4u);
  EXPECT_EQ(layout.tableOffset, bytes.find("NUMBER OF FILES: \r\n") + 19 + 4 + 4);
  EXPECT_EQ(static_cast<size_t>(layout.records[0].dataOffset), layout.tableOffset + 4 * 620);
  for (size_t i = 0; i < spec.files.size(); ++i) {
    const FILE_INFO_STRUCT& r = layout.records[i];
    const std::string& cardPath = spec.files[i].cardPath;
    EXPECT_EQ(bytes.substr(r.dataOffset, cardPath.size()), cardPath);
    const std::string stored = bytes.substr(r.dataOffset + cardPath.size(), r.storedSize);
    EXPECT_EQ(r.fileSize, static_cast<int32_t>(spec.files[i].content.size()));
    EXPECT_EQ(r.fileCrc, Crc(spec.files[i].content));
    EXPECT_EQ(r.kind, spec.files[i].kind);
    EXPECT_EQ(FieldText(r.checkPath), cardPath);
    if (IsStoredKind(r.kind)) {
      EXPECT_EQ(stored, spec.files[i].content);
    } else {
      EXPECT_EQ(Inflate(stored, r.fileSize), spec.files[i].content);
    }
  }
  EXPECT_LT(layout.records[0].storedSize, 3000);  // compressed
  EXPECT_EQ(bytes.size(), static_cast<size_t>(layout.records[3].dataOffset + 7 +
                                              layout.records[3].storedSize));
}

TEST(PackageWriterTest, OverridesBuildDamagedRecords) {
  PackageSpec spec;
  spec.files = {PackageFileSpec{.kind = 3, .cardPath = "A", .checkPath = "CHECK", .content = "a",
                                .dataOffset = 5, .storedSize = -1, .fileSize = 99, .fileCrc = 7}};
  PackageLayout layout;
  BuildPackage(spec, &layout);
  const FILE_INFO_STRUCT& r = layout.records[0];
  EXPECT_EQ(r.dataOffset, 5);
  EXPECT_EQ(r.storedSize, -1);
  EXPECT_EQ(r.fileSize, 99);
  EXPECT_EQ(r.fileCrc, 7u);
  EXPECT_EQ(FieldText(r.checkPath), "CHECK");
}

TEST(PackageWriterTest, ItsPackagesParseWithTheLoadersRules) {
  PackageSpec spec{.releaseNumber = 9, .winceIncluded = 4, .panel3950Support = true};
  spec.files = {MakeFile(9, "A.BIN"), MakeFile(12, "B.BIN")};
  std::string bytes = BuildPackage(spec);
  PackageHeader header;
  std::string message;
  ASSERT_TRUE(ParsePackageHeader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 &header, &message));
  EXPECT_EQ(header.releaseNumber, 9);
  EXPECT_EQ(header.winceIncluded, 4);
  EXPECT_TRUE(header.has3950Support);
  EXPECT_EQ(header.fileCount, 2);
  EXPECT_EQ(PackageCrcOf(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()),
            header.packageCrc);
  EXPECT_EQ(bytes.substr(0, 4), LittleEndian(header.packageCrc));  // put back after computing
}

}  // namespace
}  // namespace cw
