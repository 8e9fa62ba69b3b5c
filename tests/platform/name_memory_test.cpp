// Case-insensitive name lookups remember a settled folder's names; any change to the folder
// must be seen at once, and a folder changed within the last seconds is never remembered.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "platform/posix/posix_internal.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace cw::test {
namespace {

using posix::MatchComponentAt;

class NameMemoryTest : public ::testing::Test {
 protected:
  // Dates the folder an hour back, so the clock need not move for it to count as settled and
  // any later change gives it a different time.
  void Age(const std::string& folder, time_t seconds = 3600) {
    const timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
  }
  TempDir temp_;
};

TEST_F(NameMemoryTest, ARenameInARememberedFolderIsSeen) {
  const std::string folder = temp_.Sub("settled");
  temp_.Write("settled/Data", "x");
  Age(folder);
  const time_t later = ::time(nullptr) + 100;  // the folder's times are long settled by then
  EXPECT_EQ(MatchComponentAt(folder, "DATA", later), "Data");
  EXPECT_EQ(MatchComponentAt(folder, "data", later), "Data");
  ASSERT_EQ(std::rename((folder + "/Data").c_str(), (folder + "/Other").c_str()), 0);
  EXPECT_EQ(MatchComponentAt(folder, "DATA", later), "DATA");
  EXPECT_EQ(MatchComponentAt(folder, "OTHER", later), "Other");
}

TEST_F(NameMemoryTest, ANewNameThatMakesALookupAmbiguousIsSeen) {
  const std::string folder = temp_.Sub("ambiguous");
  temp_.Write("ambiguous/abc", "x");
  Age(folder);
  const time_t later = ::time(nullptr) + 100;
  EXPECT_EQ(MatchComponentAt(folder, "ABC", later), "abc");
  temp_.Write("ambiguous/Abc", "y");
  EXPECT_EQ(MatchComponentAt(folder, "ABC", later), "ABC");  // two match: taken as given
  EXPECT_EQ(MatchComponentAt(folder, "abc", later), "abc");  // the exact name always wins
}

TEST_F(NameMemoryTest, AFolderChangedJustNowIsReadAgainEveryTime) {
  // Within one timestamp tick a change need not alter the folder's time; only settled folders
  // may be remembered.
  const std::string folder = temp_.Sub("fresh");
  temp_.Write("fresh/Alpha", "x");
  const time_t now = ::time(nullptr);
  EXPECT_EQ(MatchComponentAt(folder, "ALPHA", now), "Alpha");
  temp_.Write("fresh/Beta", "x");
  EXPECT_EQ(MatchComponentAt(folder, "BETA", now), "Beta");
  temp_.Write("fresh/beta2", "x");
  EXPECT_EQ(MatchComponentAt(folder, "BETA2", now), "beta2");
}

TEST_F(NameMemoryTest, AFolderReplacedUnderTheSameNameIsReadAgain) {
  const std::string folder = temp_.Sub("replaced");
  temp_.Write("replaced/Old", "x");
  Age(folder);
  const time_t later = ::time(nullptr) + 100;
  EXPECT_EQ(MatchComponentAt(folder, "OLD", later), "Old");
  std::filesystem::remove_all(folder);
  temp_.Write("replaced/New", "x");
  Age(folder, 7200);
  EXPECT_EQ(MatchComponentAt(folder, "OLD", later), "OLD");
  EXPECT_EQ(MatchComponentAt(folder, "NEW", later), "New");
}

}  // namespace
}  // namespace cw::test
