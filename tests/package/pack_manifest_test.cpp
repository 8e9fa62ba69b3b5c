#include "package/pack_manifest.h"

#include <gtest/gtest.h>

namespace cw {
namespace {

TEST(ParseManifestTest, ReadsEveryStatement) {
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(ParseManifest("# comment\r\n"
                            "title \"MY PACKAGE\"\n"
                            "header 10 0 1 2 3 -4\n"
                            "release 77\n"
                            "format 1 8 -\n"
                            "generator 3 4 Z\n"
                            "engine 5 6 B\n"
                            "panel 7 8 c\n"
                            "wince 1\n"
                            "panel3950 yes\n"
                            "crc off\n"
                            "\n"
                            "  file 11 \"Quorvane File CRCs.dat\" \"CHECK\\X\" list.dat  \n"
                            "file 2 APP\\A.BIN - a.bin\n"
                            "crclist 3950 \"Quorvane File CRCs 3950.dat\"\n",
                            &manifest, &error))
      << error;
  const PackageSpec& spec = manifest.spec;
  EXPECT_EQ(spec.title, "MY PACKAGE");
  EXPECT_EQ(spec.headerWords, (std::array<int32_t, 6>{10, 0, 1, 2, 3, -4}));
  EXPECT_EQ(spec.releaseNumber, 77);
  EXPECT_EQ(*spec.formatRevision, 8);
  EXPECT_EQ(*spec.formatLetter, 0);
  EXPECT_EQ(*spec.generatorLetter, 'Z');
  EXPECT_EQ(*spec.engineVersion, 5);
  EXPECT_EQ(*spec.panelLetter, 'c');
  EXPECT_EQ(*spec.winceIncluded, 1);
  EXPECT_TRUE(spec.panel3950Support);
  EXPECT_FALSE(spec.setCrc);
  ASSERT_EQ(spec.files.size(), 3u);
  EXPECT_EQ(spec.files[0].kind, 11);
  EXPECT_EQ(spec.files[0].cardPath, "Quorvane File CRCs.dat");
  EXPECT_EQ(spec.files[0].checkPath, "CHECK\\X");
  EXPECT_EQ(manifest.sources[0].source, "list.dat");
  EXPECT_EQ(spec.files[1].checkPath, "");  // "-": the same as the card path
  EXPECT_EQ(spec.files[2].kind, 12);
  EXPECT_EQ(manifest.sources[2].crcListModel, 3950);
}

TEST(ParseManifestTest, DefaultsStandWhenStatementsAreLeftOut) {
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(ParseManifest("", &manifest, &error));
  EXPECT_EQ(*manifest.spec.formatVersion, 1);
  EXPECT_EQ(*manifest.spec.formatRevision, 9);
  EXPECT_TRUE(manifest.spec.setCrc);
  EXPECT_TRUE(manifest.spec.files.empty());
}

TEST(ParseManifestTest, MistakesNameTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"release 1\nrelease x\n", "manifest line 2: wrong values for 'release'"},
      {"header 1 2 3\n", "manifest line 1: wrong values for 'header'"},
      {"format 1 9 AB\n", "manifest line 1: wrong values for 'format'"},
      {"crc maybe\n", "manifest line 1: wrong values for 'crc'"},
      {"\n\nbogus 1\n", "manifest line 3: unknown statement 'bogus'"},
      {"file 2 \"A.BIN - a\n", "manifest line 1: missing closing quote"},
      {"file x A.BIN - a\n", "manifest line 1: wrong values for 'file'"},
      {"crclist 3960 A\n", "manifest line 1: wrong values for 'crclist'"},
      {"file 2 ..\\A.BIN - a\n",
       "manifest line 1: card path names no file below the card root: ..\\A.BIN"},
      {"file 2 \"C:\\A.BIN\" - a\n",
       "manifest line 1: card path names no file below the card root: C:\\A.BIN"},
  };
  for (const auto& [text, message] : cases) {
    Manifest manifest;
    std::string error;
    EXPECT_FALSE(ParseManifest(text, &manifest, &error)) << text;
    EXPECT_EQ(error, message);
  }
}

}  // namespace
}  // namespace cw
