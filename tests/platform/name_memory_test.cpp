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

class NameMemoryTest : public ::testing::Test {
 protected:
  // Dates the folder an hour back, so the clock need not move for it to count as settled and
  // any later change gives it a different time.
  void Age(const std::string& folder, time_t seconds = 3600) {
    const timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
  }
  TempDir temp_;
  posix::FolderNameCache names_;  // one platform's memory
};

TEST_F(NameMemoryTest, ARenameInARememberedFolderIsSeen) {
  const std::string folder = temp_.Sub("settled");
  temp_.Write("settled/Data", "x");
  Age(folder);
  const time_t later = ::time(nullptr) + 100;  // the folder's times are long settled by then
  EXPECT_EQ(names_.MatchAt(folder, "DATA", later), "Data");
  EXPECT_EQ(names_.MatchAt(folder, "data", later), "Data");
  ASSERT_EQ(std::rename((folder + "/Data").c_str(), (folder + "/Other").c_str()), 0);
  EXPECT_EQ(names_.MatchAt(folder, "DATA", later), "DATA");
  EXPECT_EQ(names_.MatchAt(folder, "OTHER", later), "Other");
}

TEST_F(NameMemoryTest, ANewNameThatMakesALookupAmbiguousIsSeen) {
  const std::string folder = temp_.Sub("ambiguous");
  temp_.Write("ambiguous/abc", "x");
  Age(folder);
  const time_t later = ::time(nullptr) + 100;
  EXPECT_EQ(names_.MatchAt(folder, "ABC", later), "abc");
  temp_.Write("ambiguous/Abc", "y");
  EXPECT_EQ(names_.MatchAt(folder, "ABC", later), "ABC");  // two match: taken as given
  EXPECT_EQ(names_.MatchAt(folder, "abc", later), "abc");  // the exact name always wins
}

TEST_F(NameMemoryTest, AFolderChangedJustNowIsReadAgainEveryTime) {
  // Within one timestamp tick a change need not alter the folder's time; only settled folders
  // may be remembered.
  const std::string folder = temp_.Sub("fresh");
  temp_.Write("fresh/Alpha", "x");
  const time_t now = ::time(nullptr);
  EXPECT_EQ(names_.MatchAt(folder, "ALPHA", now), "Alpha");
  temp_.Write("fresh/Beta", "x");
  EXPECT_EQ(names_.MatchAt(folder, "BETA", now), "Beta");
  temp_.Write("fresh/beta2", "x");
  EXPECT_EQ(names_.MatchAt(folder, "BETA2", now), "beta2");
}

// A folder still changing is read through, not remembered; it must answer as a remembered one
// does, including whether the name was found.
TEST_F(NameMemoryTest, AChangingFolderAnswersAsARememberedOne) {
  const std::string folder = temp_.Sub("changing");
  temp_.Write("changing/Single.TXT", "x");
  temp_.Write("changing/twin", "x");
  temp_.Write("changing/TWIN", "x");
  struct Case {
    const char* asked;
    const char* expected;
    bool found;
  };
  const Case cases[] = {
      {"SINGLE.txt", "Single.TXT", true},  // one match ignoring case
      {"Single.TXT", "Single.TXT", true},  // exact
      {"Twin", "Twin", false},             // two match: as given, and missing
      {"twin", "twin", true},              // the exact one of the two
      {"NONE", "NONE", false},
      {"SINGLE.TX", "SINGLE.TX", false},   // a prefix is no match
  };
  for (const time_t now : {::time(nullptr), ::time(nullptr) + 100}) {  // changing, then settled
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.asked) + (now > ::time(nullptr) ? " settled" : " changing"));
      bool found = !c.found;
      EXPECT_EQ(names_.MatchAt(folder, c.asked, now, &found), c.expected);
      EXPECT_EQ(found, c.found);
    }
  }
}

TEST_F(NameMemoryTest, AFolderReplacedUnderTheSameNameIsReadAgain) {
  const std::string folder = temp_.Sub("replaced");
  temp_.Write("replaced/Old", "x");
  Age(folder);
  const time_t later = ::time(nullptr) + 100;
  EXPECT_EQ(names_.MatchAt(folder, "OLD", later), "Old");
  std::filesystem::remove_all(folder);
  temp_.Write("replaced/New", "x");
  Age(folder, 7200);
  EXPECT_EQ(names_.MatchAt(folder, "OLD", later), "OLD");
  EXPECT_EQ(names_.MatchAt(folder, "NEW", later), "New");
}

}  // namespace
}  // namespace cw::test
