#include <gtest/gtest.h>

#include <sstream>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace cw::test {
namespace {

// The row of `letter` in the drives table, split into its columns.
std::vector<std::string> Row(const std::string& table, const std::string& letter) {
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(letter, 0) != 0) continue;
    std::istringstream words(line);
    std::vector<std::string> columns;
    for (std::string word; words >> word;) columns.push_back(word);
    return columns;
  }
  return {};
}

TEST(DrivesCommand, ListsAMappedCardWithItsOverrides) {
  TempDir card;
  const auto result = RunCardwright(
      {"--drive", "E:=" + card.path() + ",removable,fs=FAT16,bytes=67108864", "drives"},
      {{"CARDWRIGHT_DRIVES", ""}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind("Drive", 0), 0u) << result.out;
  EXPECT_EQ(Row(result.out, "E:"),
            (std::vector<std::string>{"E:", card.path(), "removable", "FAT16", "67108864", "-"}));
  const auto root = Row(result.out, "C:");
  ASSERT_EQ(root.size(), 6u);
  EXPECT_EQ(root[1], "/");
  EXPECT_EQ(root[2], "fixed");
  // Aligned: every column starts at the same offset as in the header.
  const size_t typeColumn = result.out.find("Type");
  const size_t eRow = result.out.find("\nE:") + 1;
  EXPECT_EQ(result.out.compare(eRow + typeColumn, 9, "removable"), 0) << result.out;
}

TEST(DrivesCommand, EnvironmentMappingsApplyAndOptionsOverrideTheirLetter) {
  TempDir a, b;
  const auto result = RunCardwright(
      {"--drive", "F:=" + b.path() + ",fs=FAT", "drives"},
      {{"CARDWRIGHT_DRIVES", "F:=" + a.path() + ";G:=" + a.path() + ",fixed,bytes=5"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto f = Row(result.out, "F:");
  ASSERT_EQ(f.size(), 6u) << result.out;
  EXPECT_EQ(f[1], b.path());  // the option's folder, not the environment's
  EXPECT_EQ(f[2], "removable");
  EXPECT_EQ(f[3], "FAT");
  EXPECT_EQ(Row(result.out, "G:")[2], "fixed");
  EXPECT_EQ(Row(result.out, "G:")[4], "5");
}

TEST(DrivesCommand, MalformedMappingIsUsageError) {
  TempDir card;
  auto result = RunCardwright({"--drive", "C:=" + card.path(), "drives"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("C: is always the host's root"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");

  result = RunCardwright({"drives"}, {{"CARDWRIGHT_DRIVES", "E:=" + card.path() + ",bytes=lots"}});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("CARDWRIGHT_DRIVES"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("not a byte count"), std::string::npos) << result.err;

  result = RunCardwright({"--drive", "E:=" + card.path(), "--drive", "e:=/", "drives"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("mapped twice"), std::string::npos) << result.err;
}

TEST(DrivesCommand, MissingFolderIsUsageError) {
  TempDir card;
  const auto result = RunCardwright({"--drive", "E:=" + card.Sub("gone"), "drives"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("does not exist"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(card.Sub("gone")), std::string::npos) << result.err;
}

TEST(CommandLine, WrongUsageAndNoSubcommand) {
  EXPECT_EQ(RunCardwright({"--no-such-option", "drives"}).exitCode, 2);
  EXPECT_EQ(RunCardwright({"no-such-command"}).exitCode, 2);
  EXPECT_EQ(RunCardwright({"--drive"}).exitCode, 2);
  const auto help = RunCardwright({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("drives"), std::string::npos);
}

}  // namespace
}  // namespace cw::test
