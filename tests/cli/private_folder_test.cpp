// End to end with a second account, made for these tests (`useradd`) and switched to with
// `setpriv`. Both share one temporary folder (mode 1777, as /tmp) and have no
// $XDG_RUNTIME_DIR, so each falls back to a folder of its own below it.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "support/card_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::RunProgram;

constexpr const char* kLock = "/cardwright-B_LOGTOFILE_MUTEX.lock";

class PrivateFolderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    name_ = "cwother" + std::to_string(::getpid());
    if (::geteuid() != 0 || RunProgram({"/usr/sbin/useradd", "-M", name_}).exitCode != 0)
      name_.clear();
  }
  static void TearDownTestSuite() {
    if (!name_.empty()) RunProgram({"/usr/sbin/userdel", name_});
  }
  void SetUp() override {
    const struct passwd* other = name_.empty() ? nullptr : ::getpwnam(name_.c_str());
    if (other == nullptr) GTEST_SKIP() << "needs root and useradd for a second account";
    theirs = shared + "/cardwright-" + std::to_string(other->pw_uid);
    asOther_ = {"/usr/bin/setpriv", "--reuid=" + std::to_string(other->pw_uid),
                "--regid=" + std::to_string(other->pw_gid), "--clear-groups"};
    const fs::path top = fs::path(card.HomeDir()).parent_path();
    fs::permissions(top, fs::perms::owner_all | fs::perms::others_exec);
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    card.environment = {{"TMPDIR", shared}, {"XDG_RUNTIME_DIR", ""}};
    PackageSpec spec;
    spec.files.push_back(test::MakeFile(kKindCommonRaw, "APP\\F.BIN", "new"));
    card.LayEngineCard(spec);
    package = card.WritePackage(spec);
  }
  int AsOther(std::vector<std::string> command) const {
    command.insert(command.begin(), asOther_.begin(), asOther_.end());
    return RunProgram(command).exitCode;
  }
  CommandResult Store() const {
    return card.Run({"store", "--card", "E:", "--package", package, "--yes"});
  }

  static inline std::string name_;
  std::vector<std::string> asOther_;
  test::CardFixture card;
  const std::string shared = fs::path(card.HomeDir()).parent_path().string() + "/tmp";
  const std::string own = shared + "/cardwright-0";
  std::string theirs, package;
};

// The other account's held locks of the same name (where every Cardwright once kept it, in the
// shared folder, and in its own) never hold this user up; a folder it planted where this
// user's own belongs is refused with the reason, changing nothing.
TEST_F(PrivateFolderTest, AnotherAccountsLocksNeverBlockThisUser) {
  ASSERT_EQ(AsOther({"/bin/mkdir", "-m", "700", theirs}), 0);
  const std::string fixed = std::string("/tmp") + kLock;
  const bool madeFixed = !fs::exists(fs::symlink_status(fixed));
  std::vector<std::unique_ptr<test::RunningProgram>> holders;
  for (const std::string& lock : {fixed, shared + kLock, theirs + kLock}) {
    std::vector<std::string> hold = asOther_;
    hold.insert(hold.end(), {"/usr/bin/flock", "-o", lock, "sh", "-c", "echo held >&2; exec cat"});
    holders.push_back(std::make_unique<test::RunningProgram>(hold, test::EnvironmentAdditions{},
                                                             true));  // cat waits on a terminal
    ASSERT_TRUE(holders.back()->WaitForError("held")) << holders.back()->err();
  }
  const CommandResult stored = Store();
  holders.clear();
  if (madeFixed) fs::remove(fixed);
  EXPECT_EQ(stored.exitCode, 0) << stored.err;
  EXPECT_EQ(stored.err.find("Waiting for another"), std::string::npos) << stored.err;
  EXPECT_TRUE(fs::exists(own + kLock));

  const auto before = card.Snapshot();
  fs::create_directories(card.PrivateDir());  // root's, empty: what a link would lead to
  const std::vector<std::pair<std::vector<std::string>, std::string>> plants = {
      {{"/bin/mkdir", "-m", "777", own}, " belongs to another account"},
      {{"/bin/ln", "-s", card.PrivateDir(), own}, " is a symbolic link, not a folder"}};
  for (const auto& [plant, why] : plants) {
    fs::remove_all(own);
    ASSERT_EQ(AsOther(plant), 0) << why;
    const CommandResult refused = Store();
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    EXPECT_NE(refused.err.find("Cardwright cannot start a job: " + own + why), std::string::npos)
        << refused.err;
    EXPECT_EQ(card.Snapshot(), before);
    EXPECT_TRUE(fs::is_empty(own)) << why;  // nothing written into it, nor through the link
  }
}

// Without a documents folder the data go to this user's own folder: 0700, root's, and closed
// to the other account.
TEST_F(PrivateFolderTest, TheFallbackDataFolderIsTheUsersOwn) {
  card.environment.emplace_back("HOME", "/dev/null");
  const CommandResult stored = Store();
  EXPECT_EQ(stored.exitCode, 0) << stored.err;
  struct stat st;
  ASSERT_EQ(::lstat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & (S_IFMT | 07777), S_IFDIR | 0700u);
  EXPECT_EQ(st.st_uid, 0u);
  for (const char* name : {"/fwp_downloader.log", "/DownloadDiagnostics.txt",
                           "/QUORVANE_ENGINE_CF_BACKUP"}) {
    EXPECT_TRUE(fs::exists(own + name)) << name;
    EXPECT_NE(AsOther({"/bin/ls", own + name}), 0) << name;
  }
}

// Links planted where the log's lock was once kept (the shared folder; /tmp when
// nothing is there) and where it is kept now are not followed; the store still runs.
TEST_F(PrivateFolderTest, NoLockFileFollowsAPlantedLink) {
  card.environment = {};  // this user's own folder is $XDG_RUNTIME_DIR again
  fs::create_directories(card.PrivateDir());
  fs::permissions(card.PrivateDir(), fs::perms::owner_all);
  ASSERT_EQ(AsOther({"/bin/ln", "-s", shared + "/was-shared", shared + kLock}), 0);
  fs::create_symlink(shared + "/was-own", card.PrivateDir() + kLock);
  const std::string fixed = std::string("/tmp") + kLock;
  const bool plantFixed = !fs::exists(fs::symlink_status(fixed));
  if (plantFixed) fs::create_symlink(shared + "/was-tmp", fixed);
  else std::cout << fixed << " belongs to another program: no link planted there\n";
  const CommandResult stored = Store();
  if (plantFixed) fs::remove(fixed);
  EXPECT_EQ(stored.exitCode, 0) << stored.err;
  for (const char* target : {"/was-shared", "/was-own", "/was-tmp"})
    EXPECT_FALSE(fs::exists(shared + target)) << target;
}

}  // namespace
}  // namespace cw
