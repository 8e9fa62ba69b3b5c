// Raw volumes. Wine opens "\\.\E:" but only imitates the volume controls (its dismount
// answers "not supported"), so what the backend makes of each answer is tested with a fake
// control that records the calls; the handle itself is a real one.
#include <vector>

#include "win32_fixture.h"

namespace cw::test {
namespace {

struct ControlCall {
  HANDLE volume;
  DWORD code;
};

class Win32Volumes : public Win32Test {
 protected:
  Win32Volumes() {
    win32::Win32PlatformOptions options;
    options.volumeControl = [this](HANDLE volume, DWORD code) {
      calls.push_back({volume, code});
      if (heldRefusals > 0) {
        --heldRefusals;
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
      }
      ::SetLastError(answerError);
      return answer;
    };
    options.instantSleeps = true;
    faked = std::make_unique<win32::Win32Platform>(options);
  }
  void SetUp() override {
    device = "\\\\.\\" + (CardDrive().empty() ? std::string("C:") : CardDrive());
  }

  std::unique_ptr<win32::Win32Platform> faked;
  std::vector<ControlCall> calls;
  bool answer = true;
  DWORD answerError = ERROR_SUCCESS;
  int heldRefusals = 0;  // the next calls refused as another program's hold refuses them
  std::string device;
};

class ForeignVolume : public Volume {};

TEST_F(Win32Volumes, DismountAsksOnceWithTheDismountCode) {
  std::unique_ptr<Volume> volume = faked->OpenVolume(device);
  ASSERT_NE(volume, nullptr) << device << ": error " << GetLastError();
  EXPECT_TRUE(faked->DismountVolume(*volume));
  EXPECT_EQ(GetLastError(), kErrSuccess);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].code, DWORD{FSCTL_DISMOUNT_VOLUME});
  EXPECT_NE(calls[0].volume, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(faked->CloseVolume(std::move(volume)));
}

TEST_F(Win32Volumes, ARefusedDismountCarriesTheSystemsError) {
  std::unique_ptr<Volume> volume = faked->OpenVolume(device);
  ASSERT_NE(volume, nullptr);
  answer = false;
  answerError = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(faked->DismountVolume(*volume));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  answerError = ERROR_SUCCESS;  // a failure that names no reason still reads as one
  EXPECT_FALSE(faked->DismountVolume(*volume));
  EXPECT_EQ(GetLastError(), kErrGenFailure);
}

// Another program's hold refuses the lock with access denied: asked again a few times, and
// granted once let go; never dismounted by the lock itself.
TEST_F(Win32Volumes, TheLockIsAskedAgainWhileTheVolumeIsHeld) {
  std::unique_ptr<Volume> volume = faked->OpenVolume(device);
  ASSERT_NE(volume, nullptr);
  heldRefusals = 2;
  EXPECT_TRUE(faked->LockVolume(*volume));
  EXPECT_EQ(GetLastError(), kErrSuccess);
  ASSERT_EQ(calls.size(), 3u);
  for (const ControlCall& call : calls) EXPECT_EQ(call.code, DWORD{FSCTL_LOCK_VOLUME});

  calls.clear();
  heldRefusals = 100;
  EXPECT_FALSE(faked->LockVolume(*volume));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(calls.size(), 5u);

  // Any other refusal is final at once, its error passed on.
  calls.clear();
  heldRefusals = 0;
  answer = false;
  answerError = ERROR_NOT_SUPPORTED;
  EXPECT_FALSE(faked->LockVolume(*volume));
  EXPECT_EQ(GetLastError(), uint32_t{ERROR_NOT_SUPPORTED});
  EXPECT_EQ(calls.size(), 1u);
  ForeignVolume foreign;
  EXPECT_FALSE(faked->LockVolume(foreign));
  EXPECT_EQ(GetLastError(), kErrInvalidHandle);
}

TEST_F(Win32Volumes, MountedIsTheAnswerOfTheMountedCode) {
  std::unique_ptr<Volume> volume = faked->OpenVolume(device);
  ASSERT_NE(volume, nullptr);
  EXPECT_TRUE(faked->IsVolumeMounted(*volume));
  answer = false;
  answerError = ERROR_NOT_READY;
  EXPECT_FALSE(faked->IsVolumeMounted(*volume));
  EXPECT_EQ(GetLastError(), uint32_t{ERROR_NOT_READY});
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].code, DWORD{FSCTL_IS_VOLUME_MOUNTED});
  EXPECT_EQ(calls[1].code, DWORD{FSCTL_IS_VOLUME_MOUNTED});
}

TEST_F(Win32Volumes, ForeignOrClosedVolumesAreInvalidHandles) {
  ForeignVolume foreign;
  EXPECT_FALSE(faked->DismountVolume(foreign));
  EXPECT_EQ(GetLastError(), kErrInvalidHandle);
  EXPECT_FALSE(faked->IsVolumeMounted(foreign));
  EXPECT_EQ(GetLastError(), kErrInvalidHandle);
  EXPECT_FALSE(faked->CloseVolume(std::make_unique<ForeignVolume>()));
  EXPECT_EQ(GetLastError(), kErrInvalidHandle);
  EXPECT_FALSE(faked->CloseVolume(nullptr));
  EXPECT_TRUE(calls.empty());
}

TEST_F(Win32Volumes, AMissingDeviceIsNotFound) {
  EXPECT_EQ(faked->OpenVolume("\\\\.\\NOSUCHDEVICE"), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

}  // namespace
}  // namespace cw::test
