#pragma once
// The fixture of the real-FAT scenarios: a run folder, card images made in it, and a guest that
// mounts them. Every test skips itself, with the reason, where no guest can start.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fat/card_image.h"
#include "fat/uml.h"
#include "support/temp_dir.h"

namespace cw::fat {

constexpr uint64_t kMiB = 1024 * 1024;

class FatCardTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // A new image `name` in the run folder; the test fails at once if mkfs.fat does.
  CardImage MakeCard(const std::string& name, uint64_t bytes, int fatBits = 16,
                     const std::vector<std::string>& extraOptions = {});
  // An ext4 disk for the guest's HOME: unlike the host's folders seen through hostfs, it keeps
  // the extended attributes in which the program stores attributes off the card.
  std::string MakeHome();
  // Boots the guest with `disks` and runs `script` (see Guest); expects it to finish.
  GuestRun Boot(const std::string& script, const std::vector<std::string>& disks,
                int timeoutSeconds = 60);
  StepResult Step(const std::string& name) const { return guest_.Step(name); }
  // The card's mount point inside the guest.
  std::string CardFolder() const { return guest_.cardFolder(); }

  test::TempDir run_;
  Guest guest_{run_.path()};
};

// "key value" lines (fat_probe's output) as a map; a repeated key keeps its last value.
std::map<std::string, std::string> KeyValues(const std::string& text);
// The row of the drives table whose host path is `hostPath`, split into its columns.
std::vector<std::string> DriveRow(const std::string& table, const std::string& hostPath);
// The card's data capacity as mkfs.fat laid it out: clusters times cluster size (fsck, minfo).
uint64_t ClusterBytes(const CardImage& card);
// Text with CR LF shown as "|", as fat_probe prints message boxes.
std::string OneLine(std::string text);

// Asserts that fsck.fat -n finds the card clean.
#define EXPECT_CARD_CLEAN(card)                                          \
  do {                                                                   \
    const ::cw::fat::CardImage::Check check_ = (card).Fsck();            \
    EXPECT_TRUE(check_.clean) << "fsck.fat -n:\n" << check_.report;     \
  } while (0)

}  // namespace cw::fat
