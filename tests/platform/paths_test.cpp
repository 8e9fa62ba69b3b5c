#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/posix/posix_internal.h"
#include "posix_fixture.h"

namespace cw::test {
namespace {

using PathTest = PosixTest;

TEST_F(PathTest, DriveLetterGivesTheMappedFolder) {
  EXPECT_EQ(sys().ToHostPath("E:\\"), card_);
  EXPECT_EQ(sys().ToHostPath("e:"), card_);
  EXPECT_EQ(sys().ToHostPath("C:\\"), "/");
  EXPECT_EQ(sys().ToHostPath("\\\\.\\E:"), card_);
}

TEST_F(PathTest, NamesMatchIgnoringAsciiCase) {
  const std::string file = OnCard("Data/Sub Folder/File.Txt");
  EXPECT_EQ(sys().ToHostPath("E:\\DATA\\SUB FOLDER\\FILE.TXT"), file);
  EXPECT_EQ(sys().ToHostPath("E:\\data\\sub folder\\file.txt"), file);
}

TEST_F(PathTest, AMissingNameIsTakenAsGivenSoItCanBeCreated) {
  OnCard("Data/a");
  EXPECT_EQ(sys().ToHostPath("E:\\DATA\\NEW\\FILE.TXT"), card_ + "/Data/NEW/FILE.TXT");
}

TEST_F(PathTest, AnExactMatchWinsOverOthersAndAmbiguityKeepsTheGivenName) {
  OnCard("abc/x");
  OnCard("ABC/x");
  EXPECT_EQ(sys().ToHostPath("E:\\ABC\\X"), card_ + "/ABC/x");
  EXPECT_EQ(sys().ToHostPath("E:\\abc\\X"), card_ + "/abc/x");
  // Two entries match "Abc" ignoring case: neither is picked.
  EXPECT_EQ(sys().ToHostPath("E:\\Abc\\X"), card_ + "/Abc/X");
}

// Nothing about a card's names is kept between lookups that a change could make wrong: each
// step changes the card, by the host or through the platform, and the next lookup sees it.
TEST_F(PathTest, LookupsFollowEveryChangeAtOnce) {
  namespace fs = std::filesystem;
  const std::string main = OnCard("app/Main.bin");
  struct Step {
    std::function<void()> change;
    std::string path;
    std::string expected;  // relative to the card
  };
  const Step steps[] = {
      {[] {}, "E:\\APP\\MAIN.BIN", "app/Main.bin"},
      {[&] { OnCard("APP/MAIN.BIN"); }, "E:\\APP\\MAIN.BIN", "APP/MAIN.BIN"},
      {[&] { fs::remove_all(card_ + "/APP"); }, "E:\\APP\\MAIN.BIN", "app/Main.bin"},
      {[&] { fs::rename(main, card_ + "/app/mAIN.BIN"); }, "E:\\app\\Main.bin", "app/mAIN.BIN"},
      {[] {}, "E:\\app\\NEW.TXT", "app/NEW.TXT"},
      {[&] { OnCard("app/new.txt"); }, "E:\\app\\NEW.TXT", "app/new.txt"},
      {[&] { ASSERT_TRUE(sys().DeleteFile("E:\\APP\\NEW.TXT")); }, "E:\\app\\new.txt",
       "app/new.txt"},
      {[&] { ASSERT_TRUE(sys().CreateDirectory("E:\\app\\Sub")); }, "E:\\APP\\SUB\\F.BIN",
       "app/Sub/F.BIN"},
      {[&] { fs::rename(card_ + "/app", card_ + "/App"); }, "E:\\APP\\SUB\\F.BIN",
       "App/Sub/F.BIN"},
      {[&] { fs::create_directory(card_ + "/APP"); }, "E:\\APP\\SUB\\F.BIN", "APP/SUB/F.BIN"},
  };
  for (const Step& step : steps) {
    step.change();
    EXPECT_EQ(sys().ToHostPath(step.path), card_ + "/" + step.expected) << step.path;
  }
  EXPECT_FALSE(fs::exists(card_ + "/app/new.txt"));  // the delete found the file by its name
}

// Opens and status reads try the name as written before any lookup: a name there in another
// case, or only in another case, still reaches the file the lookup finds.
TEST_F(PathTest, OpensAndStatusReadsReachTheFileTheLookupFinds) {
  OnCard("abc/x", "lower");
  OnCard("ABC/x", "upper");
  OnCard("Data/File.Txt", "data");
  struct Case {
    const char* path;
    const char* content;  // nullptr: no such file
    uint32_t error;
  };
  const Case cases[] = {
      {"E:\\ABC\\x", "upper", kErrSuccess},
      {"E:\\abc\\X", "lower", kErrSuccess},
      {"E:\\DATA\\FILE.TXT", "data", kErrSuccess},
      {"E:\\data\\file.txt", "data", kErrSuccess},
      {"E:\\DATA\\MISSING.TXT", nullptr, kErrFileNotFound},
      {"E:\\NOWHERE\\FILE.TXT", nullptr, kErrPathNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    for (const OpenMode mode : {OpenMode::Read, OpenMode::ReadWrite}) {
      std::unique_ptr<File> file = sys().OpenFile(c.path, mode);
      ASSERT_EQ(file != nullptr, c.content != nullptr);
      if (!file) {
        EXPECT_EQ(GetLastError(), c.error);
        continue;
      }
      char text[8] = {};
      uint32_t got = 0;
      ASSERT_TRUE(file->Read(text, sizeof text - 1, &got));
      EXPECT_EQ(std::string(text, got), c.content);
    }
    FindEntry info;
    ASSERT_EQ(sys().GetFileInfo(c.path, &info), c.content != nullptr);
    if (c.content != nullptr) EXPECT_EQ(info.size, std::string(c.content).size());
    else EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_F(PathTest, DoubledSeparatorsAndDotsFold) {
  const std::string file = OnCard("Data/f.bin");
  EXPECT_EQ(sys().ToHostPath("E:\\\\DATA\\\\F.BIN"), file);
  EXPECT_EQ(sys().ToHostPath("E:/data/./f.bin"), file);
  EXPECT_EQ(sys().ToHostPath("E:\\DATA\\..\\DATA\\F.BIN"), file);
  EXPECT_EQ(sys().ToHostPath("E:\\..\\..\\DATA\\F.BIN"), file);  // never above the root
  EXPECT_EQ(sys().ToHostPath("E:\\DATA\\"), card_ + "/Data");
}

TEST_F(PathTest, UpperCasingIsAsciiOnlySoUtf8NamesSurvive) {
  const std::string file = OnCard("grüße/Übung.txt");
  // An upper-cased copy changes only the ASCII letters; the other bytes still match.
  EXPECT_EQ(posix::UpperAscii(std::string("grüße/Übung.txt")), "GRüßE/ÜBUNG.TXT");
  EXPECT_EQ(sys().ToHostPath("E:\\GRüßE\\ÜBUNG.TXT"), file);
  std::vector<FindEntry> found;
  ASSERT_TRUE(sys().FindFiles("E:\\GRüßE\\*.*", &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Übung.txt");
}

TEST_F(PathTest, HostPathsAreTakenAsGiven) {
  EXPECT_EQ(sys().ToHostPath(card_ + "/Some/THING"), card_ + "/Some/THING");
}

TEST_F(PathTest, RelativePathsStartAtTheCurrentFolder) {
  const std::string file = OnCard("Rel/Name.dat");
  const std::string before = std::filesystem::current_path();
  std::filesystem::current_path(card_);
  const std::string relative = sys().ToHostPath("REL\\NAME.DAT");
  const std::string rooted = sys().ToHostPath("\\REL\\NAME.DAT");  // root of E:, the current drive
  const std::string current = sys().GetCurrentDirectory();
  std::filesystem::current_path(before);
  EXPECT_EQ(relative, file);
  EXPECT_EQ(rooted, file);
  EXPECT_EQ(current, "E:\\");
}

TEST_F(PathTest, UnknownDrivesAndNetworkPathsAreMissingPaths) {
  SetLastError(0);
  EXPECT_EQ(sys().ToHostPath("Q:\\X"), "");
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  EXPECT_EQ(sys().ToHostPath("\\\\server\\share\\x"), "");
  EXPECT_EQ(sys().ToHostPath(""), "");
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
}

TEST_F(PathTest, HostPathsShowUnderTheirClosestDrive) {
  auto& platform = static_cast<posix::PosixPlatform&>(sys());
  EXPECT_EQ(platform.HostToWindows(card_ + "/Data/x.txt"), "E:\\Data\\x.txt");
  EXPECT_EQ(platform.HostToWindows(card_), "E:\\");
  std::string expected = "C:\\" + temp_.path().substr(1) + "\\Other";
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(platform.HostToWindows(temp_.path() + "/Other"), expected);
  EXPECT_EQ(platform.HostToWindows("/"), "C:\\");
}

TEST(PathHelpers, HostPathPieces) {
  EXPECT_EQ(posix::ParentOf("/a/b/"), "/a");
  EXPECT_EQ(posix::ParentOf("/a"), "/");
  EXPECT_EQ(posix::NameOf("/a/b/"), "b");
  EXPECT_TRUE(posix::PathIsUnder("/a/b", "/a"));
  EXPECT_FALSE(posix::PathIsUnder("/ab", "/a"));
  EXPECT_TRUE(posix::PathIsUnder("/ab", "/"));
  EXPECT_EQ(posix::NormalHostPath("/a//b/./c/../d/"), "/a/b/d");
  EXPECT_EQ(posix::NormalHostPath("/.."), "/");
}

}  // namespace
}  // namespace cw::test
