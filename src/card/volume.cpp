#include "card/volume.h"

#include <string>

#include "platform/text.h"

namespace cw {

namespace {

constexpr int kOpenAttempts = 51;  // one first try and 50 retries
constexpr uint32_t kOpenRetryWaitMs = 50;
// How often a held volume is asked for before the ejection leaves it mounted.
constexpr int kHeldAsks = 10;

bool HeldByAnother(uint32_t error) {
  return error == kErrAccessDenied || error == kErrSharingViolation;
}

// Locks the card's volume, asking the user to let go of it while another program holds it.
// False when the user gave up (or did not let go after kHeldAsks tries).
bool LockCard(Platform& platform, const Reporter& report, const VolumeHandle& volume,
              char letter) {
  for (int asked = 0;; ++asked) {
    if (platform.LockVolume(*volume)) return true;
    const uint32_t error = GetLastError();
    // A platform whose volumes take no lock (error 1, 50) is dismounted as before.
    if (!HeldByAnother(error)) return true;
    report.LogF("  the card %c: is in use by another program (error %u).", letter, error);
    if (asked == kHeldAsks) return false;
    const MessageResult answer = report.ShowMessage(
        Format("Another program is using the card %c: (an Explorer window showing it, or a "
               "file of it that is open), so it cannot be ejected.\r\n"
               "Close that window or program, then click OK to eject the card.\r\n"
               "Cancel leaves the card as it is.\r\n",
               letter),
        MessageButtons::OkCancel, MessageIcon::Exclamation);
    if (answer != MessageResult::Ok) return false;
  }
}

}  // namespace

VolumeHandle OpenVolume(Platform& platform, char letter) {
  const std::string rootPath = Format("%c:\\", letter);
  if (platform.GetDriveType(rootPath) != DriveType::Removable) {
    SetLastError(kErrInvalidDrive);
    return nullptr;
  }

  const std::string devicePath = Format("\\\\.\\%c:", letter);
  VolumeHandle volume;
  for (int attempt = 0; attempt < kOpenAttempts && !volume; ++attempt) {
    // A card just inserted or just dismounted may need a moment before it opens.
    platform.Sleep(kOpenRetryWaitMs);
    volume = platform.OpenVolume(devicePath);
  }
  return volume;
}

CardDrive CheckCardDrive(Platform& platform, const std::string& flashPath) {
  if (platform.GetDriveType(flashPath) != DriveType::Removable || Contains(flashPath, "C"))
    return CardDrive::kNotRemovable;
  VolumeHandle probe = OpenVolume(platform, flashPath.empty() ? '\0' : flashPath[0]);
  if (!probe) return CardDrive::kDoesNotOpen;
  CloseVolume(platform, std::move(probe));
  return CardDrive::kUsable;
}

bool DismountVolume(Platform& platform, const VolumeHandle& volume) {
  if (!volume) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  return platform.DismountVolume(*volume);
}

bool IsVolumeMounted(Platform& platform, const VolumeHandle& volume) {
  if (!volume) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  return platform.IsVolumeMounted(*volume);
}

bool CloseVolume(Platform& platform, VolumeHandle volume) {
  if (!volume) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  return platform.CloseVolume(std::move(volume));
}

bool EjectCompactFlash(Platform& platform, const Reporter& report, char letter) {
  VolumeHandle volume = OpenVolume(platform, letter);
  if (!volume) {
    const uint32_t error = GetLastError();
    std::string message = Format("OpenVolume Failed. Error %u", error);
    if (error == kErrAccessDenied) {
      message +=
          "\r\nThe most likely cause is that you do not have\r\n"
          "sufficient user priviliges on this computer.";
    }
    message += "\r\nPlease remove the compact flash manually and reinsert before clicking OK.\r\n";
    report.ShowAndRecord(message, MessageIcon::Exclamation);
    return false;
  }

  // The mount state is asked only after a dismount that the operating system accepted.
  if (!LockCard(platform, report, volume, letter)) {
    report.LogF("  the card %c: was not ejected: another program keeps it in use.", letter);
    report.ShowAndRecord(
        Format("The card %c: was not ejected: another program keeps it in use.\r\n"
               "Please remove it manually and reinsert before continuing\r\n",
               letter),
        MessageIcon::Exclamation);
  } else if (!DismountVolume(platform, volume) || IsVolumeMounted(platform, volume)) {
    report.ShowAndRecord(
        "Compact Flash is still mounted.\r\n"
        "Please remove it manually and reinsert before continuing\r\n",
        MessageIcon::Exclamation);
  }

  if (!CloseVolume(platform, std::move(volume))) {
    report.ShowAndRecord(Format("CloseVolume Failed. %u", GetLastError()), MessageIcon::None);
    return false;
  }
  return true;
}

}  // namespace cw
