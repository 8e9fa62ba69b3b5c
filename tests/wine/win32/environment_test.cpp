// Folders, user name and time as the system gives them, and the documents folder the data
// folder is built on.
#include "platform/host_platform.h"
#include "win32_fixture.h"

namespace cw::test {
namespace {

using Win32Environment = Win32Test;

TEST_F(Win32Environment, DocumentsFolderIsTheShellsPersonalFolderAndExists) {
  std::string documents;
  ASSERT_TRUE(platform->GetDocumentsFolder(&documents));
  char shell[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, shell), S_OK);
  EXPECT_EQ(documents, shell);
  ASSERT_GE(documents.size(), 3u);
  EXPECT_EQ(documents.substr(1, 2), ":\\");
  const uint32_t attributes = platform->GetFileAttributes(documents);
  ASSERT_NE(attributes, kInvalidAttributes);
  EXPECT_NE(attributes & kAttrDirectory, 0u);
  // Under Wine the driver says which host folder that must be (inside its own prefix).
  const std::string expected = EnvironmentValue("CARDWRIGHT_WINE_DOCUMENTS");
  if (!expected.empty()) {
    EXPECT_EQ(documents, expected);
  }
}

TEST_F(Win32Environment, TempPathKeepsItsBackslashAndExists) {
  const std::string temp = platform->GetTempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  char system[MAX_PATH + 1] = {};
  ::GetTempPathA(sizeof system, system);
  EXPECT_EQ(temp, system);
  EXPECT_NE(platform->GetFileAttributes(temp) & kAttrDirectory, 0u);
}

TEST_F(Win32Environment, UserNameAndLocalTimeAreTheSystems) {
  char user[256] = {};
  DWORD length = sizeof user;
  ASSERT_TRUE(::GetUserNameA(user, &length));
  EXPECT_EQ(platform->GetUserName(), user);
  EXPECT_FALSE(platform->GetUserName().empty());
  const LocalTime now = platform->GetLocalTime();
  EXPECT_GE(now.year, 2020);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
  EXPECT_TRUE(now.milliseconds >= 0 && now.milliseconds <= 999);
}

TEST_F(Win32Environment, TheHostPlatformIsTheWin32One) {
  ::SetErrorMode(0);
  std::unique_ptr<Platform> host = MakeHostPlatform(HostPlatformOptions{});
  EXPECT_NE(dynamic_cast<win32::Win32Platform*>(host.get()), nullptr);
  // No system box for a missing disk: the calls fail and the job says so.
  const UINT quiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
  EXPECT_EQ(::GetErrorMode() & quiet, quiet);
}

}  // namespace
}  // namespace cw::test
