#pragma once
// A POSIX platform whose only drives are C: (the host root) and E:, a removable "FAT16" card
// of 64 MiB that is a temporary folder.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "support/temp_dir.h"

namespace cw::test {

class PosixTest : public ::testing::Test {
 protected:
  PosixTest() {
    card_ = temp_.Sub("card");
    temp_.Write("card/.keep", "");
    DriveMapping card;
    card.letter = 'E';
    card.hostPath = card_;
    card.fileSystem = "FAT16";
    card.totalBytes = 64ull << 20;
    PosixPlatformOptions options;
    options.mappings = {card};
    options.discoverMounts = false;
    options.instantSleeps = true;
    options.privateFolder = temp_.path();
    platform_ = MakePosixPlatform(options);
  }

  Platform& sys() { return *platform_; }
  // Writes a file on the card (host side) and returns its host path.
  std::string OnCard(const std::string& relative, const std::string& content = "x") {
    return temp_.Write("card/" + relative, content);
  }

  TempDir temp_;
  std::string card_;
  std::unique_ptr<Platform> platform_;
};

}  // namespace cw::test
