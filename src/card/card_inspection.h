#pragma once
// The checks a job runs on a card before anything is written: file system and size, and what
// the card's files say about it. The second CRC list in its WD folder: card/wd_crc_list.h.

#include <cstdint>
#include <string>
#include <vector>

#include "log/reporter.h"
#include "platform/platform.h"
#include "platform/target_type.h"
#include "record/card_identity.h"

namespace cw {

// What inspection finds on a card; the job keeps it (job/jobs.h: JobFindings) and hands it to
// the steps that need it. Each job starts from an empty one.
struct CardFacts {
  // The card's capacity (BasicFlashCheck).
  uint64_t cardTotalBytes = 0;
  // The sizes of the protected files a Panel card keeps through a store (only when the user
  // chose a panel source): the room for the new files is that much smaller.
  uint64_t keptBytes = 0;
  // The device the card's files show; the kind known before when they show none. The job
  // takes it as its targetType.
  int32_t targetType = kTargetUnknown;
  // A Panel card carries its OS image.
  int32_t osOnCard = 0;
  // Package files on the card other than the stored copies.
  std::vector<std::string> otherPackageFiles;
  // Who the card is, taken as the job began; every later step that writes to the card or
  // judges it first makes sure the card in the slot is still this one.
  CardIdentity identity;
};

// The card at `flashPath` ("E:" or "E:\...") has a FAT16 file system of at most 2 GiB; false
// after a message to the user when not. Sets card.cardTotalBytes to the capacity found (a
// failed query keeps the one it had).
bool BasicFlashCheck(Platform& platform, const Reporter& report, const std::string& flashPath,
                     CardFacts& card);

// `card` with what the listing `cardFiles` (upper-case paths) adds: the card's kind (the last
// matching file decides; unchanged when none matches), its OS image (never cleared here), its
// other package files (found afresh) and, when the user chose a panel source
// (`panelSelected`), the bytes of the protected files it keeps (added to).
CardFacts GetCFInfo(Platform& platform, const Reporter& report,
                    const std::vector<std::string>& cardFiles, bool panelSelected,
                    CardFacts card);

}  // namespace cw
