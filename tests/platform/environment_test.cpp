#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/host_platform.h"
#include "posix_fixture.h"

namespace cw::test {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

using EnvironmentTest = PosixTest;

TEST_F(EnvironmentTest, DocumentsDefaultsToHomeDocumentsAndIsCreated) {
  ScopedEnv home("HOME", temp_.Sub("Home Tech"));
  ScopedEnv config("XDG_CONFIG_HOME", temp_.Sub("Home Tech/.config"));
  std::string documents;
  ASSERT_TRUE(sys().GetDocumentsFolder(&documents));
  std::string expected = "C:" + temp_.Sub("Home Tech/Documents");
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(documents, expected);
  EXPECT_TRUE(std::filesystem::is_directory(temp_.Sub("Home Tech/Documents")));
}

// The job spells its data paths in capitals. Below the documents folder reported they are
// found from that folder, even when a folder spelled in capitals stands beside it; once that
// folder is gone, they are looked up afresh.
TEST_F(EnvironmentTest, PathsBelowTheDocumentsFolderAreFoundInAnyCase) {
  ScopedEnv home("HOME", temp_.Sub("Home Tech"));
  ScopedEnv config("XDG_CONFIG_HOME", temp_.Sub("Home Tech/.config"));
  std::string documents;
  ASSERT_TRUE(sys().GetDocumentsFolder(&documents));
  std::string upper = documents;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  temp_.Write("Home Tech/Documents/Brevant/LOG.TXT", "x");
  temp_.Write("Home Tech/DOCUMENTS/BREVANT/LOG.TXT", "y");
  temp_.Write("Home Tech/.config/user-dirs.dirs", "");

  EXPECT_EQ(sys().ToHostPath(upper), temp_.Sub("Home Tech/Documents"));
  EXPECT_EQ(sys().ToHostPath(upper + "\\BREVANT\\LOG.TXT"),
            temp_.Sub("Home Tech/Documents/Brevant/LOG.TXT"));
  EXPECT_EQ(sys().ToHostPath(upper + "\\BREVANT\\NEW.TXT"),
            temp_.Sub("Home Tech/Documents/Brevant/NEW.TXT"));
  EXPECT_EQ(sys().ToHostPath(upper + "\\..\\.CONFIG"), temp_.Sub("Home Tech/.config"));
  // A longer name that starts like the folder is not below it.
  EXPECT_EQ(sys().ToHostPath(upper + "X"), temp_.Sub("Home Tech/DOCUMENTSX"));

  std::filesystem::remove_all(temp_.Sub("Home Tech/Documents"));
  std::filesystem::remove_all(temp_.Sub("Home Tech/DOCUMENTS"));
  temp_.Write("Home Tech/documents/brevant/log.txt", "z");
  EXPECT_EQ(sys().ToHostPath(upper + "\\BREVANT\\LOG.TXT"),
            temp_.Sub("Home Tech/documents/brevant/log.txt"));
}

TEST_F(EnvironmentTest, DocumentsFollowsUserDirs) {
  ScopedEnv home("HOME", temp_.Sub("home"));
  ScopedEnv config("XDG_CONFIG_HOME", temp_.Sub("home/.config"));
  temp_.Write("home/.config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  std::string documents;
  ASSERT_TRUE(sys().GetDocumentsFolder(&documents));
  EXPECT_EQ(sys().ToHostPath(documents), temp_.Sub("home/Dokumente"));
  EXPECT_TRUE(std::filesystem::is_directory(temp_.Sub("home/Dokumente")));

  temp_.Write("home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + card_ + "/Docs\"\n");
  ASSERT_TRUE(sys().GetDocumentsFolder(&documents));
  EXPECT_EQ(documents, "E:\\Docs");  // a host path under a mapped drive shows under its letter
}

// The user's own folder below $TMPDIR (or $XDG_RUNTIME_DIR itself), as on Windows.
TEST_F(EnvironmentTest, TempPathIsTheUsersOwnFolderAndEndsWithABackslash) {
  ScopedEnv tmp("TMPDIR", temp_.path());
  ScopedEnv runtime("XDG_RUNTIME_DIR", "");
  std::string expected = "C:" + temp_.path() + "/cardwright-" + std::to_string(::geteuid()) + "/";
  std::replace(expected.begin(), expected.end(), '/', '\\');
  EXPECT_EQ(MakePosixPlatform({})->GetTempPath(), expected);
  ScopedEnv runtimeSet("XDG_RUNTIME_DIR", temp_.path());
  EXPECT_EQ(sys().ToHostPath(MakePosixPlatform({})->GetTempPath()), temp_.path());
}

TEST_F(EnvironmentTest, CurrentFolderIsAWindowsPath) {
  const std::string current = sys().GetCurrentDirectory();
  ASSERT_GE(current.size(), 3u);
  EXPECT_EQ(current.substr(1, 2), ":\\");
  EXPECT_EQ(sys().ToHostPath(current), std::filesystem::current_path().string());
}

TEST_F(EnvironmentTest, UserNameAndLocalTime) {
  EXPECT_FALSE(sys().GetUserName().empty());
  const LocalTime now = sys().GetLocalTime();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
  EXPECT_TRUE(now.milliseconds >= 0 && now.milliseconds <= 999);
}

// What a front end makes without a drive map: the host's drives, C: first. A second platform
// with its own map answers by that map; the first never sees it.
TEST(HostPlatform, WorksWithoutAMapAndEachPlatformKeepsItsOwn) {
  const std::unique_ptr<Platform> host = MakeHostPlatform(HostPlatformOptions{});
  const auto roots = host->LogicalDriveStrings();
  ASSERT_FALSE(roots.empty());
  EXPECT_EQ(roots[0], "C:\\");
  PosixPlatformOptions options;
  options.discoverMounts = false;
  DriveMapping mapping;
  mapping.letter = 'X';
  mapping.hostPath = "/";
  options.mappings = {mapping};
  auto mine = MakePosixPlatform(options);
  EXPECT_EQ(mine->GetDriveType("X:\\"), DriveType::Removable);
  EXPECT_NE(host->GetDriveType("X:\\"), DriveType::Removable);
}

}  // namespace
}  // namespace cw::test
