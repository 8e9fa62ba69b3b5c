#include "fat/fat_fixture.h"

#include <sstream>

#include "support/run_command.h"

namespace cw::fat {

void FatCardTest::SetUp() {
  const std::string& reason = UmlUnavailableReason();
  if (!reason.empty()) GTEST_SKIP() << reason;
}

CardImage FatCardTest::MakeCard(const std::string& name, uint64_t bytes, int fatBits,
                                const std::vector<std::string>& extraOptions) {
  std::string error;
  std::optional<CardImage> card =
      CardImage::Make(run_.Sub(name), bytes, fatBits, &error, extraOptions);
  if (!card) {
    ADD_FAILURE() << error;
    return CardImage(run_.Sub(name));
  }
  return *card;
}

std::string FatCardTest::MakeHome() {
  const std::string path = run_.Sub("home.img");
  const test::CommandResult made =
      test::RunProgram({"/usr/sbin/mkfs.ext4", "-q", "-F", path, "64M"});
  EXPECT_EQ(made.exitCode, 0) << made.out << made.err;
  return path;
}

GuestRun FatCardTest::Boot(const std::string& script, const std::vector<std::string>& disks,
                           int timeoutSeconds) {
  GuestRun run = guest_.Run(script, disks, timeoutSeconds);
  EXPECT_TRUE(run.finished) << run.Describe();
  return run;
}

std::map<std::string, std::string> KeyValues(const std::string& text) {
  std::map<std::string, std::string> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    values[line.substr(0, blank)] = line.substr(blank + 1);
  }
  return values;
}

std::vector<std::string> DriveRow(const std::string& table, const std::string& hostPath) {
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::vector<std::string> columns;
    for (std::string word; words >> word;) columns.push_back(word);
    if (columns.size() >= 2 && columns[1] == hostPath) return columns;
  }
  return {};
}

uint64_t ClusterBytes(const CardImage& card) {
  // fsck.fat: "IMAGE: 0 files, 0/16343 clusters"; minfo: "cluster size: 4 sectors".
  const std::string fsck = card.Fsck().report;
  const size_t clusters = fsck.find(" clusters");
  const size_t slash = fsck.rfind('/', clusters);
  if (clusters == std::string::npos || slash == std::string::npos) return 0;
  const uint64_t count = std::stoull(fsck.substr(slash + 1, clusters - slash - 1));
  const test::CommandResult info =
      test::RunProgram({"/usr/bin/minfo", "-i", card.path(), "::"}, {{"MTOOLS_SKIP_CHECK", "1"}});
  const size_t sectors = info.out.find("cluster size: ");
  const size_t sectorSize = info.out.find("sector size: ");
  if (sectors == std::string::npos || sectorSize == std::string::npos) return 0;
  return count * std::stoull(info.out.substr(sectors + 14)) *
         std::stoull(info.out.substr(sectorSize + 13));
}

std::string OneLine(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.replace(at, 2, "|");
  }
  return text;
}

}  // namespace cw::fat
