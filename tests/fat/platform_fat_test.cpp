// The platform layer on the kernel's vfat driver: drive discovery, FAT naming by cluster count,
// capacity, attributes through the FAT ioctls, dismount and remount, a busy card, a full card.
#include <gtest/gtest.h>

#include <filesystem>

#include "fat/fat_fixture.h"

namespace cw::fat {
namespace {

using FatPlatform = FatCardTest;

TEST_F(FatPlatform, DrivesListsMountedCardsWithFileSystemByClusterCountAndCapacity) {
  const CardImage small = MakeCard("small.img", 32 * kMiB, 16, {"-n", "PANEL1"});
  const CardImage big = MakeCard("big.img", 2048 * kMiB);  // sparse: mkfs writes only metadata
  const CardImage fat32 = MakeCard("fat32.img", 64 * kMiB, 32, {"-s", "1"});
  const GuestRun run = Boot(
      "card_mount /dev/ubda $RUN/small && card_mount /dev/ubdb $RUN/big && "
      "card_mount /dev/ubdc $RUN/fat32 || exit 9\n"
      "step found $CW drives\n"
      "step json $CW drives --json\n"
      "step mapped env CARDWRIGHT_DRIVES=\"E:=$RUN/fat32;F:=$RUN/small,fixed\" $CW drives\n",
      {small.path(), big.path(), fat32.path()});
  ASSERT_EQ(run.status, 0) << run.Describe();

  const StepResult found = Step("found");
  ASSERT_EQ(found.exitCode, 0) << found.err;
  // A ubd disk says it is not removable: a FAT card on it is a fixed drive, found by itself.
  const std::vector<std::string> smallRow = DriveRow(found.out, run_.Sub("small"));
  ASSERT_EQ(smallRow.size(), 6u) << found.out;
  EXPECT_EQ(smallRow[2], "fixed");
  EXPECT_EQ(smallRow[3], "FAT");
  EXPECT_EQ(smallRow[4], std::to_string(ClusterBytes(small)));
  EXPECT_EQ(smallRow[5], "PANEL1");  // the label, also beside the mount folder in JSON
  const std::string json = Step("json").out;
  EXPECT_NE(json.find("\"host_path\": \"" + run_.Sub("small") + "\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"label\": \"PANEL1\""), std::string::npos) << json;
  const std::vector<std::string> bigRow = DriveRow(found.out, run_.Sub("big"));
  ASSERT_EQ(bigRow.size(), 6u) << found.out;
  EXPECT_EQ(bigRow[3], "FAT");
  EXPECT_EQ(bigRow[4], std::to_string(ClusterBytes(big)));
  EXPECT_LE(std::stoull(bigRow[4]), 2048 * kMiB);
  EXPECT_GT(std::stoull(bigRow[4]), 2000 * kMiB);
  const std::vector<std::string> fat32Row = DriveRow(found.out, run_.Sub("fat32"));
  ASSERT_EQ(fat32Row.size(), 6u) << found.out;
  EXPECT_EQ(fat32Row[3], "FAT32");  // 64 MiB in 512-byte clusters: over 65524 clusters
  EXPECT_EQ(found.out.find(run_.Sub("small") + " "), found.out.rfind(run_.Sub("small") + " "));

  // A mapping decides the letter and the type; the file system still comes from the card.
  const StepResult mapped = Step("mapped");
  ASSERT_EQ(mapped.exitCode, 0) << mapped.err;
  const std::vector<std::string> e = DriveRow(mapped.out, run_.Sub("fat32"));
  ASSERT_EQ(e.size(), 6u) << mapped.out;
  EXPECT_EQ(e[0], "E:");
  EXPECT_EQ(e[2], "removable");
  EXPECT_EQ(e[3], "FAT32");
  const std::vector<std::string> f = DriveRow(mapped.out, run_.Sub("small"));
  ASSERT_EQ(f.size(), 6u) << mapped.out;
  EXPECT_EQ(f[0], "F:");
  EXPECT_EQ(f[2], "fixed");
  EXPECT_EQ(f[3], "FAT");

  EXPECT_CARD_CLEAN(small);
  EXPECT_CARD_CLEAN(big);
  EXPECT_CARD_CLEAN(fat32);
}

TEST_F(FatPlatform, AttributesAreTheCardsOwnBothWays) {
  const CardImage card = MakeCard("card.img", 32 * kMiB);
  ASSERT_TRUE(card.Put("RO.TXT", "r"));
  ASSERT_TRUE(card.Put("HIDDEN.TXT", "h"));
  ASSERT_TRUE(card.Put("SYS/BOOT.SYS", "s"));
  ASSERT_TRUE(card.Put("PLAIN.TXT", "p"));
  ASSERT_TRUE(card.SetAttributes("RO.TXT", {"+r", "-a"}));
  ASSERT_TRUE(card.SetAttributes("HIDDEN.TXT", {"+h"}));
  ASSERT_TRUE(card.SetAttributes("SYS/BOOT.SYS", {"+s", "+h", "+r"}));
  ASSERT_TRUE(card.SetAttributes("PLAIN.TXT", {"-a"}));
  const GuestRun run = Boot(
      "card_mount || exit 9\n"
      "export CARDWRIGHT_DRIVES=E:=$CARD\n"
      "step before $PROBE attrs 'E:\\ro.txt' 'E:\\HIDDEN.TXT' 'E:\\Sys\\boot.sys' "
      "'E:\\PLAIN.TXT' 'E:\\SYS' 'E:\\MISSING.TXT'\n"
      "step clear $PROBE setattrs 'E:\\RO.TXT' 0x20\n"
      "step hide $PROBE setattrs 'E:\\PLAIN.TXT' 0x7\n"
      "step after $PROBE attrs 'E:\\RO.TXT' 'E:\\PLAIN.TXT'\n",
      {card.path()});
  ASSERT_EQ(run.status, 0) << run.Describe();

  const auto before = KeyValues(Step("before").out);
  EXPECT_EQ(before.at("E:\\ro.txt"), "0x1");
  EXPECT_EQ(before.at("E:\\HIDDEN.TXT"), "0x22");
  EXPECT_EQ(before.at("E:\\Sys\\boot.sys"), "0x27");
  EXPECT_EQ(before.at("E:\\PLAIN.TXT"), "0x80");  // none set reads as normal
  EXPECT_EQ(before.at("E:\\SYS"), "0x10");
  EXPECT_EQ(before.at("E:\\MISSING.TXT"), "error 2");
  EXPECT_EQ(Step("clear").exitCode, 0) << Step("clear").out;
  EXPECT_EQ(Step("hide").exitCode, 0) << Step("hide").out;
  const auto after = KeyValues(Step("after").out);
  EXPECT_EQ(after.at("E:\\RO.TXT"), "0x20");
  EXPECT_EQ(after.at("E:\\PLAIN.TXT"), "0x7");

  // What the platform set is what the card holds.
  const auto attributes = card.Attributes();
  EXPECT_EQ(attributes.at("RO.TXT"), "A");
  EXPECT_EQ(attributes.at("PLAIN.TXT"), "SHR");
  EXPECT_EQ(attributes.at("SYS/BOOT.SYS"), "ASHR");
  EXPECT_CARD_CLEAN(card);
}

TEST_F(FatPlatform, DismountUnmountsTheCardAndTheNextAccessMountsItAgain) {
  const CardImage card = MakeCard("card.img", 32 * kMiB);
  ASSERT_TRUE(card.Put("KEEP.TXT", "kept"));
  const GuestRun run = Boot(
      "card_mount || exit 9\n"
      "export CARDWRIGHT_DRIVES=E:=$CARD\n"
      "echo written >$CARD/NEW.TXT\n"
      "step dismount $PROBE dismount E\n"
      "step eject $PROBE eject E\n"
      "if grep -q \" $CARD \" /proc/self/mounts; then echo mounted-at-end; fi\n",
      {card.path()});
  ASSERT_EQ(run.status, 0) << run.Describe();

  const auto dismount = KeyValues(Step("dismount").out);
  EXPECT_EQ(dismount.at("dismount"), "ok");
  EXPECT_EQ(dismount.at("volume-mounted"), "no");
  EXPECT_EQ(dismount.at("close"), "ok");
  EXPECT_EQ(dismount.at("kernel-after-dismount"), "none");
  EXPECT_EQ(dismount.at("filesystem-after"), "FAT");
  EXPECT_EQ(dismount.at("kernel-after-access"), "vfat");
  // An ejection that works says nothing; the card is back when the process ends.
  const auto eject = KeyValues(Step("eject").out);
  EXPECT_EQ(eject.count("message"), 0u) << Step("eject").out;
  EXPECT_EQ(eject.at("result"), "1");
  EXPECT_NE(run.log.find("mounted-at-end"), std::string::npos);

  EXPECT_EQ(card.Read("NEW.TXT").value_or("?"), "written\n");
  EXPECT_EQ(card.Read("KEEP.TXT").value_or("?"), "kept");
  EXPECT_CARD_CLEAN(card);
}

TEST_F(FatPlatform, BusyCardStaysMountedAndTheEjectionSaysSo) {
  const CardImage card = MakeCard("card.img", 32 * kMiB);
  ASSERT_TRUE(card.Put("BUSY.TXT", "open elsewhere"));
  const GuestRun run = Boot(
      "card_mount || exit 9\n"
      "export CARDWRIGHT_DRIVES=E:=$CARD\n"
      "exec 3<$CARD/BUSY.TXT\n"
      "step dismount $PROBE dismount E\n"
      "step eject $PROBE eject E\n"
      "exec 3<&-\n",
      {card.path()});
  ASSERT_EQ(run.status, 0) << run.Describe();

  const auto dismount = KeyValues(Step("dismount").out);
  EXPECT_EQ(dismount.at("dismount"), "error 32");
  EXPECT_EQ(dismount.at("volume-mounted"), "yes");
  EXPECT_EQ(dismount.at("kernel-after-dismount"), "vfat");
  const auto eject = KeyValues(Step("eject").out);
  EXPECT_EQ(eject.at("message"),
            OneLine("Compact Flash is still mounted.\r\n"
                    "Please remove it manually and reinsert before continuing\r\n"));
  EXPECT_EQ(eject.at("result"), "1");
  EXPECT_TRUE(run.unmountLog.empty()) << run.unmountLog;
  EXPECT_CARD_CLEAN(card);
}

TEST_F(FatPlatform, FullCardAndFullRootFolderAreDiskFull) {
  const CardImage card = MakeCard("card.img", 32 * kMiB);
  const GuestRun run = Boot(
      "card_mount || exit 9\n"
      "export CARDWRIGHT_DRIVES=E:=$CARD\n"
      "step fill $PROBE fill 'E:\\BIG.BIN'\n"
      "rm $CARD/BIG.BIN\n"
      "i=0\n"
      "while [ $i -lt 600 ] && printf '' 2>/dev/null >$CARD/F$i.TXT; do i=$((i+1)); done\n"
      "echo root-files $i\n"
      "step root $PROBE fill 'E:\\ONEMORE.TXT'\n",
      {card.path()});
  ASSERT_EQ(run.status, 0) << run.Describe();

  const auto fill = KeyValues(Step("fill").out);
  EXPECT_EQ(fill.at("write-error"), "112");
  EXPECT_GT(std::stoull(fill.at("written")), 30 * kMiB);
  EXPECT_EQ(fill.at("close"), "ok");
  // A FAT16 root folder has 512 entries, however much room the card has.
  EXPECT_NE(run.log.find("root-files 512"), std::string::npos) << run.log;
  EXPECT_EQ(KeyValues(Step("root").out).at("open"), "error 112");
  EXPECT_EQ(card.List().size(), 512u);
  EXPECT_CARD_CLEAN(card);
}

// A card pulled out after writing: the dismount cannot bring the writes to the card and says
// so, and from then on the drive is not ready. Nothing may land in the empty mount-point folder
// instead, nor be read back from the page cache as though it were on the card.
TEST_F(FatPlatform, PulledCardIsNotReadyAndNothingLandsInItsMountPoint) {
  const CardImage card = MakeCard("card.img", 32 * kMiB);
  ASSERT_TRUE(card.Put("OLD.TXT", "old content"));
  const GuestRun run = Boot(
      "card_dm && card_mount /dev/mapper/card || exit 9\n"
      "export CARDWRIGHT_DRIVES=E:=$CARD\n"
      // 16 MiB of writes still in the cache when the card goes (not the whole program,
      // whose size is no business of a 32 MiB card).
      "head -c 16777216 $CW >$CARD/NEW.BIN || exit 8\n"
      "card_pull || exit 7\n"
      "step pulled $PROBE eject E + attrs 'E:\\NEW.BIN' 'E:\\OLD.TXT' + fill 'E:\\LOST.BIN'\n"
      "step drives $CW --drive E:=$CARD drives\n",
      {card.path()});
  ASSERT_EQ(run.status, 0) << run.Describe();

  const auto pulled = KeyValues(Step("pulled").out);
  EXPECT_EQ(pulled.at("message"),
            OneLine("Compact Flash is still mounted.\r\n"
                    "Please remove it manually and reinsert before continuing\r\n"));
  EXPECT_EQ(pulled.at("result"), "1");
  EXPECT_EQ(pulled.at("E:\\NEW.BIN"), "error 21");
  EXPECT_EQ(pulled.at("E:\\OLD.TXT"), "error 21");
  EXPECT_EQ(pulled.at("open"), "error 21");
  // A later process finds only the empty folder, which is no FAT card.
  const std::vector<std::string> e = DriveRow(Step("drives").out, CardFolder());
  ASSERT_EQ(e.size(), 6u) << Step("drives").out;
  EXPECT_NE(e[3], "FAT");
  EXPECT_TRUE(std::filesystem::is_empty(CardFolder()));

  // The card keeps what it held; the interrupted writes leave it marked dirty.
  EXPECT_EQ(card.Read("OLD.TXT").value_or("?"), "old content");
  const CardImage::Check check = card.Fsck();
  EXPECT_FALSE(check.clean) << check.report;
}

}  // namespace
}  // namespace cw::fat
