// "cardwright" without a subcommand opens the window: here it starts up on the offscreen
// platform and writes its picture instead of waiting for an operator.

#include <gtest/gtest.h>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace cw::test {
namespace {

TEST(WindowRun, StartsUpWithTheDataFolderAndWritesItsPicture) {
#ifndef CARDWRIGHT_HAS_WINDOW
  GTEST_SKIP() << "built without the window";
#endif
  TempDir home, card;
  home.Write("Documents/.keep", "");  // start-up makes the data folder below it
  card.Write("BOOT.BMP", "bmp");
  card.Write("DATA/README.TXT", "x");
  const std::string png = home.Sub("window.png");
  const auto result = RunCardwright({"--drive", "E:=" + card.path() + ",removable,fs=FAT"},
                                    {{"HOME", home.path()},
                                     {"XDG_CONFIG_HOME", home.Sub(".config")},
                                     {"XDG_RUNTIME_DIR", home.path()},
                                     {"QT_QPA_PLATFORM", "offscreen"},
                                     {"CARDWRIGHT_DRIVES", ""},
                                     {"CARDWRIGHT_SCREENSHOT", png}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(home.Read("window.png").substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  const std::string log = home.Read("Documents/BREVANT/QUORVANE/fwp_downloader.log");
  EXPECT_NE(log.find("FWP Downloader v 1061 beginning execution."), std::string::npos) << log;
  // The picture shows the first card drive chosen in the tree: its detection was logged.
  EXPECT_NE(log.find("  CFpath is E:"), std::string::npos) << log;
}

// Without a display, or in a build without the window, the window run fails cleanly.
TEST(WindowRun, WithoutADisplayItEndsWithAnError) {
  TempDir home;
  const auto result = RunCardwright({}, {{"HOME", home.path()},
                                         {"QT_QPA_PLATFORM", "no-such-platform"},
                                         {"CARDWRIGHT_SCREENSHOT", ""}});
  EXPECT_NE(result.exitCode, 0);
}

}  // namespace
}  // namespace cw::test
