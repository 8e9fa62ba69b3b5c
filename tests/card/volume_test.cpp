#include "card/volume.h"

#include <gtest/gtest.h>

#include "support/job_fixture.h"

namespace cw {
namespace {

constexpr uint64_t kCardBytes = 64ull << 20;
const char kReinsert[] = "\r\nPlease remove the compact flash manually and reinsert before clicking OK.\r\n";
const char kStillMounted[] =
    "Compact Flash is still mounted.\r\nPlease remove it manually and reinsert before continuing\r\n";

class VolumeTest : public test::JobFixture {
 protected:
  VolumeTest() {
    fake.AddDrive('E', DriveType::Removable, "FAT", kCardBytes);
    fake.AddDrive('F', DriveType::Fixed, "FAT", kCardBytes);
  }
};

TEST_F(VolumeTest, NonRemovableDrivesGiveTheInvalidHandleWithoutWaiting) {
  EXPECT_EQ(OpenVolume(fake, 'F'), nullptr);
  EXPECT_EQ(OpenVolume(fake, 'C'), nullptr);
  EXPECT_EQ(OpenVolume(fake, 'Q'), nullptr);  // no such drive
  EXPECT_EQ(fake.SleepCount(), 0u);
  EXPECT_EQ(fake.CallCount("OpenVolume"), 0u);
  EXPECT_EQ(fake.CallCount("GetDriveType", "F:\\"), 1u);
}

TEST_F(VolumeTest, RemovableDriveOpensAfterOneWait) {
  VolumeHandle volume = OpenVolume(fake, 'E');
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(fake.SleepCount(), 1u);
  EXPECT_EQ(fake.SleptMs(), 50u);
  EXPECT_EQ(fake.CallCount("OpenVolume", "\\\\.\\E:"), 1u);
  EXPECT_TRUE(CloseVolume(fake, std::move(volume)));
}

TEST_F(VolumeTest, OpenRetriesUntilTheVolumeOpens) {
  fake.FailCall("OpenVolume", kErrSharingViolation, 1);
  fake.FailCall("OpenVolume", kErrSharingViolation, 1);
  VolumeHandle volume = OpenVolume(fake, 'E');
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(fake.CallCount("OpenVolume"), 3u);
  EXPECT_EQ(fake.SleepCount(), 3u);
  EXPECT_TRUE(CloseVolume(fake, std::move(volume)));
}

TEST_F(VolumeTest, RemovableDriveThatNeverOpensIsTried51TimesEachAfter50Ms) {
  fake.FailAlways("OpenVolume", kErrSharingViolation);
  EXPECT_EQ(OpenVolume(fake, 'E'), nullptr);
  EXPECT_EQ(fake.CallCount("OpenVolume", "\\\\.\\E:"), 51u);
  EXPECT_EQ(fake.SleepCount(), 51u);
  EXPECT_EQ(fake.SleptMs(), 51u * 50u);
  EXPECT_EQ(GetLastError(), kErrSharingViolation);
}

TEST_F(VolumeTest, OperationsOnTheInvalidHandleFail) {
  VolumeHandle none;
  EXPECT_FALSE(DismountVolume(fake, none));
  EXPECT_FALSE(IsVolumeMounted(fake, none));
  EXPECT_FALSE(CloseVolume(fake, nullptr));
  EXPECT_EQ(GetLastError(), kErrInvalidHandle);
}

TEST_F(VolumeTest, CleanEjectShowsNothing) {
  EXPECT_TRUE(EjectCompactFlash(state.platform, state, 'E'));
  EXPECT_EQ(prompt.Count(), 0u);
  EXPECT_EQ(fake.DismountCount('E'), 1);
  EXPECT_EQ(job.diagnosticsText.Get(), "");
}

TEST_F(VolumeTest, AccessDeniedNamesThePrivileges) {
  fake.FailAlways("OpenVolume", kErrAccessDenied);
  EXPECT_FALSE(EjectCompactFlash(state.platform, state, 'E'));
  const std::string expected = std::string("OpenVolume Failed. Error 5") +
                               "\r\nThe most likely cause is that you do not have\r\n"
                               "sufficient user priviliges on this computer." +
                               kReinsert;
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, expected);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(prompt.calls()[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(job.diagnosticsText.Get(), expected);
  EXPECT_EQ(fake.DismountCount('E'), 0);
}

TEST_F(VolumeTest, OtherOpenErrorsOnlyAskToReinsert) {
  fake.FailAlways("OpenVolume", kErrGenFailure);
  EXPECT_FALSE(EjectCompactFlash(state.platform, state, 'E'));
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"OpenVolume Failed. Error 31" +
                                                        std::string(kReinsert)});
}

// A drive that is no card names its own error, never a stale one or 0.
TEST_F(VolumeTest, NonRemovableDriveReportsTheInvalidDrive) {
  SetLastError(kErrPathNotFound);
  EXPECT_FALSE(EjectCompactFlash(state.platform, state, 'F'));
  ASSERT_EQ(prompt.Count(), 1u);
  EXPECT_EQ(prompt.messages()[0].rfind("OpenVolume Failed. Error ", 0), 0u);
  EXPECT_EQ(prompt.messages()[0].rfind("OpenVolume Failed. Error 15\r\n", 0), 0u);
  EXPECT_FALSE(prompt.Contains("priviliges"));
  EXPECT_TRUE(prompt.Contains(kReinsert));
}

TEST_F(VolumeTest, RefusedDismountAsksForReinsertionAndStillSucceeds) {
  fake.FailCall("DismountVolume", kErrAccessDenied);
  EXPECT_TRUE(EjectCompactFlash(state.platform, state, 'E'));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, kStillMounted);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(job.diagnosticsText.Get(), kStillMounted);
  // The mount state is not asked after a refused dismount.
  EXPECT_EQ(fake.CallCount("IsVolumeMounted"), 0u);
}

// The lock comes before the dismount; a volume another program holds is asked for, each
// refusal one question, and dismounted once let go.
TEST_F(VolumeTest, AHeldVolumeIsAskedForUntilItIsLetGo) {
  fake.HoldVolume('E', 2);
  EXPECT_TRUE(EjectCompactFlash(state.platform, state, 'E'));
  EXPECT_EQ(prompt.Count(), 2u);
  EXPECT_EQ(prompt.Count("Another program is using the card E:"), 2u);
  EXPECT_EQ(prompt.calls()[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(fake.CallCount("LockVolume"), 3u);
  EXPECT_EQ(fake.DismountCount('E'), 1);
  const std::vector<FakeCall> calls = fake.Calls();
  size_t lock = calls.size(), dismount = calls.size();
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op == "LockVolume") lock = i;
    if (calls[i].op == "DismountVolume" && dismount == calls.size()) dismount = i;
  }
  EXPECT_LT(lock, dismount);
}

TEST_F(VolumeTest, AHeldVolumeTheUserGivesUpOnIsNeverDismounted) {
  fake.HoldVolume('E', -1);
  prompt.SetDefaultAnswer(MessageResult::Cancel);
  EXPECT_TRUE(EjectCompactFlash(state.platform, state, 'E'));
  ASSERT_EQ(prompt.Count(), 2u);
  EXPECT_EQ(prompt.messages()[1],
            "The card E: was not ejected: another program keeps it in use.\r\n"
            "Please remove it manually and reinsert before continuing\r\n");
  EXPECT_EQ(fake.DismountCount('E'), 0);
  EXPECT_EQ(fake.CallCount("DismountVolume"), 0u);
}

// A platform whose volumes take no lock is dismounted as before.
TEST_F(VolumeTest, ALockThePlatformCannotTakeIsNoHold) {
  fake.FailCall("LockVolume", 50);  // not supported
  EXPECT_TRUE(EjectCompactFlash(state.platform, state, 'E'));
  EXPECT_EQ(prompt.Count(), 0u);
  EXPECT_EQ(fake.DismountCount('E'), 1);
}

TEST_F(VolumeTest, VolumeThatStaysMountedAsksForReinsertion) {
  fake.SetStaysMounted('E', true);
  EXPECT_TRUE(EjectCompactFlash(state.platform, state, 'E'));
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kStillMounted});
  EXPECT_EQ(fake.CallCount("IsVolumeMounted"), 1u);
}

TEST_F(VolumeTest, CloseFailureIsReportedWithoutIcon) {
  fake.FailCall("CloseVolume", kErrInvalidHandle);
  EXPECT_FALSE(EjectCompactFlash(state.platform, state, 'E'));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, "CloseVolume Failed. 6");
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
  EXPECT_EQ(job.diagnosticsText.Get(), "CloseVolume Failed. 6");
}

}  // namespace
}  // namespace cw
