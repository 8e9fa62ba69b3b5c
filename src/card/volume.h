#pragma once
// The card as a raw volume: proof that a drive is a removable card the user may open, and the
// ejection that dismounts its file system so that later reads come from the card itself.

#include <memory>
#include <string>

#include "log/reporter.h"
#include "platform/platform.h"

namespace cw {

// An open raw volume; nullptr is the invalid handle. The caller closes it with CloseVolume.
using VolumeHandle = std::unique_ptr<Volume>;

// Opens "\\.\<letter>:" for reading and writing. A drive that is not removable gives the
// invalid handle at once; a removable one is tried 51 times, each after a 50 ms wait, and the
// last error is that of the last attempt.
VolumeHandle OpenVolume(Platform& platform, char letter);

// Whether `flashPath` names a drive a job may work on: a removable drive whose raw volume opens
// (probed, then closed at once). The letter test also refuses any path that merely contains a
// C, which keeps the system drive out whatever its type.
enum class CardDrive { kUsable, kNotRemovable, kDoesNotOpen };
CardDrive CheckCardDrive(Platform& platform, const std::string& flashPath);
bool DismountVolume(Platform& platform, const VolumeHandle& volume);
bool IsVolumeMounted(Platform& platform, const VolumeHandle& volume);
bool CloseVolume(Platform& platform, VolumeHandle volume);

// Dismounts the card, after locking its volume: while another program holds it the user is
// told so and asked to let go of it, as often as they try again; it is never dismounted by
// force. False only when its volume cannot be opened or closed; a card that stays mounted (the
// user gave up on the held volume included) makes the user remove and reinsert it and still
// gives true.
bool EjectCompactFlash(Platform& platform, const Reporter& report, char letter);

}  // namespace cw
