#include "platform/drive_map.h"

#include <gtest/gtest.h>

namespace cw {
namespace {

TEST(DriveMapping, FullMappingKeepsEveryOption) {
  std::string error;
  auto mapping = ParseDriveMapping("e:=/media/card,fixed,fs=FAT16,bytes=67108864", &error);
  ASSERT_TRUE(mapping) << error;
  EXPECT_EQ(mapping->letter, 'E');
  EXPECT_EQ(mapping->hostPath, "/media/card");
  EXPECT_FALSE(mapping->removable);
  EXPECT_EQ(mapping->fileSystem, "FAT16");
  EXPECT_EQ(mapping->totalBytes, 67108864u);
}

TEST(DriveMapping, PlainFolderIsARemovableCardWithoutOverrides) {
  std::string error;
  auto mapping = ParseDriveMapping("  Z:=card folder  ", &error);
  ASSERT_TRUE(mapping) << error;
  EXPECT_EQ(mapping->letter, 'Z');
  EXPECT_EQ(mapping->hostPath, "card folder");
  EXPECT_TRUE(mapping->removable);
  EXPECT_FALSE(mapping->fileSystem);
  EXPECT_FALSE(mapping->totalBytes);
}

TEST(DriveMapping, ByteCountsFromZeroToTheLargest) {
  std::string error;
  EXPECT_EQ(ParseDriveMapping("D:=/x,bytes=0", &error)->totalBytes, 0u);
  EXPECT_EQ(ParseDriveMapping("D:=/x,bytes=18446744073709551615", &error)->totalBytes,
            18446744073709551615ull);
}

struct Refusal {
  const char* text;
  const char* reasonPart;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << '"' << refusal.text << '"'; }

class DriveMappingRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(DriveMappingRefusal, NamesTheMappingAndTheReason) {
  std::string error;
  EXPECT_FALSE(ParseDriveMapping(GetParam().text, &error));
  EXPECT_NE(error.find(GetParam().reasonPart), std::string::npos) << error;
  EXPECT_NE(error.find("bad drive mapping"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, DriveMappingRefusal,
    ::testing::Values(
        Refusal{"C:=/tmp", "C: is always the host's root"},
        Refusal{"c:=/tmp", "C: is always the host's root"}, Refusal{"A:=/tmp", "floppy"},
        Refusal{"B:=/tmp", "floppy"}, Refusal{"1:=/tmp", "D: to Z:"},
        Refusal{"\xc3:=/tmp", "D: to Z:"}, Refusal{"E=/tmp", "expected LETTER:=FOLDER"},
        Refusal{"E:/tmp", "expected LETTER:=FOLDER"}, Refusal{"", "expected"},
        Refusal{"E:=", "folder is missing"}, Refusal{"E:=,removable", "folder is missing"},
        Refusal{"E:=/x,floppy", "unknown option \"floppy\""},
        Refusal{"E:=/x,Removable", "unknown option"},
        Refusal{"E:=/x,removable,fixed", "more than one"},
        Refusal{"E:=/x,fs=", "needs a file-system name"}, Refusal{"E:=/x,fs=FAT 16", "blank"},
        Refusal{"E:=/x,fs=FAT,fs=FAT16", "given twice"},
        Refusal{"E:=/x,bytes=12k", "not a byte count"},
        Refusal{"E:=/x,bytes=-1", "not a byte count"}, Refusal{"E:=/x,bytes=", "not a byte count"},
        Refusal{"E:=/x,bytes=18446744073709551616", "not a byte count"},
        Refusal{"E:=/x,bytes=1,bytes=2", "given twice"}, Refusal{"E:=/x,", "empty option"}));

TEST(DriveMappingList, SkipsEmptyItemsAndKeepsOrder) {
  std::vector<DriveMapping> mappings;
  std::string error;
  ASSERT_TRUE(ParseDriveMappingList(";F:=/b,fixed; ;E:=/a;", &mappings, &error)) << error;
  ASSERT_EQ(mappings.size(), 2u);
  EXPECT_EQ(mappings[0].letter, 'F');
  EXPECT_FALSE(mappings[0].removable);
  EXPECT_EQ(mappings[1].letter, 'E');
  EXPECT_EQ(mappings[1].hostPath, "/a");
}

TEST(DriveMappingList, RefusesADuplicateLetterAndChangesNothing) {
  std::vector<DriveMapping> mappings(1);
  std::string error;
  EXPECT_FALSE(ParseDriveMappingList("E:=/a;e:=/b", &mappings, &error));
  EXPECT_NE(error.find("E: is mapped twice"), std::string::npos) << error;
  EXPECT_EQ(mappings.size(), 1u);
}

TEST(DriveMappingList, RefusesAMalformedItem) {
  std::vector<DriveMapping> mappings;
  std::string error;
  EXPECT_FALSE(ParseDriveMappingList("E:=/a;G:=/b,bytes=x", &mappings, &error));
  EXPECT_NE(error.find("G:=/b,bytes=x"), std::string::npos) << error;
  EXPECT_TRUE(mappings.empty());
}

}  // namespace
}  // namespace cw
