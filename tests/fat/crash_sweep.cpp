// A power cut at any write of a store job. The job runs once onto a card behind the kernel's
// dm-log-writes target, which records every block write; then chosen prefixes of those writes
// are replayed onto a copy of the card's starting image and each cut card is judged in a fresh
// guest: what `verify` says of it must be true, and the backup the job made must bring back
// every file the card held before the job (after fsck.fat where the driver refuses the card).
//
// `make test` runs a sample of the cuts; CW_CRASH_SWEEP=full (`make crash-sweep`) runs them
// all and prints the figures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "fat/fat_fixture.h"
#include "fat/write_log.h"
#include "package/package_writer.h"
#include "support/card_fixture.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace cw::fat {
namespace {

constexpr size_t kWritesSampled = 300;  // write points between the flushes of a full sweep
constexpr size_t kQuickCuts = 7;        // cuts replayed by the sample of `make test`

bool FullSweep() {
  const char* chosen = std::getenv("CW_CRASH_SWEEP");
  return chosen != nullptr && std::string(chosen) == "full";
}

// Content that deflate cannot shrink, so that files span many clusters.
std::string Random(size_t size, uint32_t seed) {
  std::mt19937 engine(seed);
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>(engine());
  return text;
}

using test::ReadHostFile;
using test::WriteHostFile;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One store job over an older installation: the card's own files, the package that made the
// older installation, and the package the recorded job stores.
struct StoreJob {
  std::string name;
  int target = 1;  // 1 Engine, 2 Panel 3940
  // How the recorded card is mounted: "sync" writes through, as Windows does to a removable
  // drive, so every write reaches the card in the program's order; without it the driver
  // caches the writes and they land in one burst, in block order, at the unmount.
  std::string mountOptions = "sync";
  std::map<std::string, std::string> ownFiles;
  PackageSpec older, newer;
};

PackageSpec EngineRelease(uint32_t seed) {
  PackageSpec spec;
  spec.releaseNumber = static_cast<int32_t>(seed);
  spec.engineVersion = 3;
  spec.engineRevision = static_cast<int32_t>(seed);
  spec.files = {
      {.kind = kKindEngine2, .cardPath = "APP\\MAIN.BIN", .content = Random(160 * 1024, seed)},
      {.kind = kKindEngine7, .cardPath = "APP\\TABLES.DAT", .content = Random(20 * 1024, seed + 1)},
      {.kind = kKindCommon, .cardPath = "CONFIG\\UNITS.TXT",
       .content = "units " + std::to_string(seed) + "\r\n"},
      {.kind = kKindCommonRaw, .cardPath = "DOCS\\ReadMe.txt", .content = "release notes"},
  };
  return spec;
}

// A 3940 panel release with its CRC list last, naming the card's OS image and its own files.
PackageSpec PanelRelease(uint32_t seed, const std::string& osImage) {
  PackageSpec spec;
  spec.releaseNumber = static_cast<int32_t>(seed);
  spec.files = {
      {.kind = kKindPanel3940, .cardPath = "BREVANT\\APP.EXE", .content = Random(120 * 1024, seed)},
      {.kind = kKindPanel3940Raw, .cardPath = "BREVANT\\FONTS.BIN",
       .content = Random(8 * 1024, seed + 1)},
      {.kind = kKindPanel3950, .cardPath = "BREVANT\\APP3950.EXE", .content = "3950 only"},
      {.kind = kKindEngine2, .cardPath = "ENGINE.BIN", .content = "not for a panel"},
  };
  for (int i = 0; i < 6; ++i) {
    spec.files.push_back({.kind = kKindPanel3940,
                          .cardPath = "BREVANT\\LANG\\TEXT" + std::to_string(i) + ".DAT",
                          .content = "language " + std::to_string(i) + " of " +
                                     std::to_string(seed)});
  }
  spec.files.push_back({.kind = kKindPanel3940Raw,
                        .cardPath = "Quorvane File CRCs.dat",
                        .content = test::CardFixture::PanelCRCList(spec, 3940, osImage)});
  return spec;
}

StoreJob EngineJob() {
  StoreJob job;
  job.name = "engine";
  job.target = 1;
  job.ownFiles = {{"NOTES/SERVICE.TXT", "serviced twice"}};
  job.older = EngineRelease(21);
  job.newer = EngineRelease(22);
  job.newer.files.push_back(
      {.kind = kKindEngine2, .cardPath = "APP\\NEW.BIN", .content = Random(40 * 1024, 23)});
  return job;
}

StoreJob PanelJob() {
  const std::string osImage = Random(200 * 1024, 31);
  StoreJob job;
  job.name = "panel";
  job.target = 2;
  job.ownFiles = {{"NK.BIN", osImage}, {"BREVANT/BPANEL.INI", "kept settings"}};
  job.older = PanelRelease(32, osImage);
  job.newer = PanelRelease(33, osImage);
  return job;
}

// "APP\MAIN.BIN" -> "APP/MAIN.BIN"; an Engine keeps its stored-as-is common files in the root.
std::string Placed(const PackageFileSpec& file, int target) {
  std::string path = file.cardPath;
  if (target == 1 && file.kind == kKindCommonRaw) path = path.substr(path.rfind('\\') + 1);
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

// The files `spec` places on the card, by mtools path.
std::map<std::string, std::string> PackageFiles(const PackageSpec& spec, int target) {
  std::map<std::string, std::string> files;
  for (const PackageFileSpec& file : spec.files) {
    if (test::KindBelongsOn(file.kind, target)) files[Placed(file, target)] = file.content;
  }
  return files;
}

// What a finished store of `spec` leaves on the card: its files and, on an Engine card, the
// stored copy of the package.
std::map<std::string, std::string> StoredFiles(const PackageSpec& spec, int target) {
  std::map<std::string, std::string> files = PackageFiles(spec, target);
  if (target == 1) files["UPGRADE.FWP"] = BuildPackage(spec);
  return files;
}

// The files of `expected` that the card lacks or holds otherwise.
std::vector<std::string> Differences(const CardImage& card,
                                     const std::map<std::string, std::string>& expected) {
  std::vector<std::string> differ;
  for (const auto& [path, content] : expected) {
    if (card.Read(path) != content) differ.push_back(path);
  }
  return differ;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

// The sweep's figures for one job.
struct Figures {
  size_t writes = 0, flushPoints = 0;
  size_t cuts = 0, done = 0, doneOlderCopy = 0, restored = 0, fsckFirst = 0, lost = 0;
  std::string Line(const std::string& job) const {
    std::ostringstream line;
    line << "crash sweep " << job << ": " << writes << " writes and " << flushPoints
         << " flush/FUA points logged; " << cuts << " cuts replayed; " << done
         << " verified as Done! (" << doneOlderCopy
         << " of them with the older stored package still on the card); " << restored
         << " restored and verified; " << fsckFirst
         << " of them needed fsck.fat first; " << lost << " lost";
    return line.str();
  }
};

class CrashSweep : public FatCardTest {
 protected:
  void SetUp() override {
    FatCardTest::SetUp();
    if (IsSkipped()) return;
    home_ = MakeHome();
  }

  std::string Card() const { return "$CW --drive E:=$CARD,removable "; }

  // A guest in a folder of its own, so that no output of an earlier boot is taken for its own.
  GuestRun BootFresh(const std::string& folder, const std::string& script,
                     const std::vector<std::string>& disks) {
    std::error_code ignored;
    std::filesystem::remove_all(run_.Sub(folder), ignored);
    std::filesystem::create_directories(run_.Sub(folder));
    guest_ = Guest(run_.Sub(folder));
    return guest_.Run(script, disks, 90);
  }

  // Stores `job.older` onto a fresh card, then records `job.newer` stored over it with a
  // backup. Leaves start.img (the card before the recorded job), card.img (after it),
  // write.log and the home disk holding the job's backup.
  void Record(const StoreJob& job) {
    const CardImage card = MakeCard("card.img", 32 * kMiB);
    for (const auto& [path, content] : job.ownFiles) ASSERT_TRUE(card.Put(path, content));
    olderPackage_ = run_.Sub("OLDER.FWP");
    newerPackage_ = run_.Sub("NEWER.FWP");
    ASSERT_TRUE(WriteHostFile(olderPackage_, BuildPackage(job.older)));
    ASSERT_TRUE(WriteHostFile(newerPackage_, BuildPackage(job.newer)));
    const std::string target = job.target == 1 ? " --target engine" : " --target panel";

    GuestRun run = BootFresh("older",
                             "home_mount /dev/ubdb || exit 10\ncard_mount || exit 9\n"
                             "step older " + Card() + "store --card E: --yes --package " +
                                 olderPackage_ + target + "\n",
                             {card.path(), home_});
    ASSERT_TRUE(run.finished) << run.Describe();
    ASSERT_EQ(guest_.Step("older").exitCode, 0) << guest_.Step("older").err;
    ASSERT_TRUE(WriteHostFile(run_.Sub("start.img"), ReadHostFile(card.path())));

    const std::string log = run_.Sub("write.log");
    ASSERT_TRUE(WriteHostFile(log, ""));
    ASSERT_EQ(::truncate(log.c_str(), 256 * kMiB), 0);
    run = BootFresh("record",
                    "home_mount /dev/ubdc || exit 10\n"
                    "read s </sys/block/ubda/size || exit 9\n"
                    "dmsetup create rec --table \"0 $s log-writes /dev/ubda /dev/ubdb\" && "
                    "dmsetup mknodes rec || exit 8\n"
                    "mount -t vfat -o shortname=mixed,utf8" +
                        (job.mountOptions.empty() ? "" : "," + job.mountOptions) +
                        " /dev/mapper/rec $CARD || exit 7\n"
                    "step newer " + Card() + "store --card E: --yes --package " + newerPackage_ +
                        target + "\n"
                        "umount $CARD && dmsetup remove rec || exit 6\n",
                    {card.path(), log, home_});
    ASSERT_TRUE(run.finished) << run.Describe();
    ASSERT_EQ(run.status, 0) << run.Describe();
    const StepResult newer = guest_.Step("newer");
    ASSERT_EQ(newer.exitCode, 0) << newer.out << newer.err;
    ASSERT_TRUE(Has(newer.out, "Done!")) << newer.out;
    ASSERT_TRUE(Differences(card, StoredFiles(job.newer, job.target)).empty());
  }

  // The files on the card before the job, read from its starting image.
  std::map<std::string, std::string> OldFiles() const {
    const CardImage start(run_.Sub("start.img"));
    std::map<std::string, std::string> files;
    for (const std::string& entry : start.List()) {
      if (!entry.empty() && entry.back() != '/') files[entry] = start.Read(entry).value_or("");
    }
    return files;
  }

  // The guest's scenario for one cut card: optionally `verify` against the package, then the
  // restore from the job's backup and a `verify` of the restored card against what it holds.
  // The backup folder is listed with checksums before and after: nothing may change it.
  std::string JudgeScript(bool verifyFirst) const {
    std::string script =
        "home_mount /dev/ubdb || exit 10\n"
        "backups() { find $HOME/Documents -path '*_CF_BACKUP*' -type f -exec cksum {} + | "
        "sort; }\n"
        "backups >$RUN/backups-before\n"
        "card_mount || exit 3\n";
    if (verifyFirst) {
      script += "step verify " + Card() + "verify --card E: --package " + newerPackage_ + "\n";
    }
    return script + "step restore " + Card() + "store --card E: --restore-only\n" +
           "step reverify " + Card() + "verify --card E:\n" + "backups >$RUN/backups-after\n" +
           "cp $HOME/Documents/BREVANT/QUORVANE/DownloadDiagnostics.txt $RUN/\n"
           "dmesg | grep FAT-fs >$RUN/driver.txt\n"
           "exit 0\n";  // the steps' own statuses are judged, not the last grep's
  }

  enum class Restore { kDone, kRefused, kFailed };

  // Boots a judge on cut.img with a copy of the home disk. kRefused: the driver did not mount
  // the card or the restore said it failed, which must then be said plainly.
  Restore Judge(size_t cut, bool verifyFirst, const std::string& cutImage, const StoreJob& job,
                Figures* figures) {
    const std::string home = run_.Sub("judge-home.img");
    const test::CommandResult copied =
        test::RunProgram({"/bin/cp", "--sparse=always", home_, home});
    EXPECT_EQ(copied.exitCode, 0) << copied.err;
    const GuestRun run = BootFresh("judge", JudgeScript(verifyFirst), {run_.Sub("cut.img"), home});
    const std::string where = job.name + " cut " + std::to_string(cut) + ": ";
    EXPECT_TRUE(run.finished) << where << run.Describe();
    if (!run.finished) return Restore::kFailed;
    if (run.status == 3) {
      std::cout << where << "the driver does not mount the card" << std::endl;
      return Restore::kRefused;
    }
    EXPECT_EQ(run.status, 0) << where << run.Describe();

    if (verifyFirst) JudgeVerify(where, cutImage, job, figures);
    const std::string backupsBefore = ReadHostFile(guest_.runFolder() + "/backups-before");
    EXPECT_FALSE(backupsBefore.empty()) << where << "no backup on the home disk";
    EXPECT_EQ(backupsBefore, ReadHostFile(guest_.runFolder() + "/backups-after")) << where;

    const StepResult restore = guest_.Step("restore");
    EXPECT_TRUE(restore.exitCode == 0 || restore.exitCode == 1)
        << where << "restore crashed: " << restore.exitCode << restore.err;
    if (restore.exitCode != 0 || !Has(restore.out, "Restore OK!!")) {
      EXPECT_TRUE(Has(restore.out, "Restore Failed!!") || Has(restore.out, "Restore Not Possible"))
          << where << "a failed restore must say so:\n" << restore.out << restore.err;
      const std::string transcript = ReadHostFile(guest_.runFolder() + "/DownloadDiagnostics.txt");
      std::cout << where << "the restore failed and said so:\n"
                << transcript.substr(transcript.size() - std::min<size_t>(transcript.size(), 400))
                << "\n--- the driver:\n"
                << ReadHostFile(guest_.runFolder() + "/driver.txt") << std::endl;
      return Restore::kRefused;
    }
    const StepResult reverify = guest_.Step("reverify");
    EXPECT_EQ(reverify.exitCode, 0) << where << reverify.out << reverify.err;
    EXPECT_TRUE(Has(reverify.out, "Done!")) << where << reverify.out;
    const std::vector<std::string> lost = Differences(CardImage(run_.Sub("cut.img")), oldFiles_);
    EXPECT_TRUE(lost.empty()) << where << "not brought back: " << Joined(lost);
    if (!lost.empty()) ++figures->lost;
    return reverify.exitCode == 0 && lost.empty() ? Restore::kDone : Restore::kFailed;
  }

  // "Done!" from verify only when every file of the package is on the cut card; otherwise a
  // plain failure that names what failed.
  void JudgeVerify(const std::string& where, const std::string& cutImage, const StoreJob& job,
                   Figures* figures) {
    const StepResult verify = guest_.Step("verify");
    EXPECT_TRUE(verify.exitCode == 0 || verify.exitCode == 1)
        << where << "verify crashed: " << verify.exitCode << verify.err;
    if (Has(verify.out, "Done!")) {
      ++figures->done;
      EXPECT_EQ(verify.exitCode, 0) << where << verify.err;
      // The judge has restored the card since: look at the cut as verify saw it.
      EXPECT_TRUE(WriteHostFile(run_.Sub("seen.img"), cutImage));
      const CardImage seen(run_.Sub("seen.img"));
      const std::vector<std::string> differ =
          Differences(seen, PackageFiles(job.newer, job.target));
      EXPECT_TRUE(differ.empty()) << where << "\"Done!\" but these differ: " << Joined(differ);
      // Verify checks a stored package by its own checksum only, so the older release's
      // intact copy passes until stage 12 replaces it: counted. Any other copy is a lie.
      const std::optional<std::string> copy = seen.Read("UPGRADE.FWP");
      if (job.target == 1 && copy != BuildPackage(job.newer)) {
        ++figures->doneOlderCopy;
        EXPECT_TRUE(copy == BuildPackage(job.older))
            << where << "\"Done!\" with a stored package of neither release";
      }
      return;
    }
    EXPECT_EQ(verify.exitCode, 1) << where << verify.out << verify.err;
    EXPECT_FALSE(verify.err.empty()) << where << "verify failed without saying why";
    const size_t list = verify.err.find("did not pass the CRC test:");
    if (list != std::string::npos) {
      EXPECT_EQ(verify.err.compare(verify.err.find('\n', list) + 1, 3, "E:\\"), 0)
          << where << "the failing file is not named:\n" << verify.err;
    }
  }

  void Sweep(const StoreJob& job) {
    Record(job);
    if (HasFatalFailure()) return;
    std::string error;
    const std::optional<WriteLog> log = WriteLog::Load(run_.Sub("write.log"), &error);
    ASSERT_TRUE(log.has_value()) << error;
    const std::string start = ReadHostFile(run_.Sub("start.img"));
    std::string image = start;
    ASSERT_TRUE(log->Apply(&image, 0, log->entries().size(), &error)) << error;
    ASSERT_TRUE(image == ReadHostFile(run_.Sub("card.img")))
        << "the whole log replayed does not give the card the job left";
    oldFiles_ = OldFiles();
    ASSERT_FALSE(oldFiles_.empty());

    Figures figures;
    for (const WriteLogEntry& entry : log->entries()) {
      figures.writes += entry.IsWrite() ? 1 : 0;
      figures.flushPoints += entry.IsFlushPoint() ? 1 : 0;
    }
    std::vector<size_t> cuts = log->CutPoints(kWritesSampled);
    if (!FullSweep()) cuts = Spread(cuts, kQuickCuts);

    image = start;
    size_t applied = 0;
    for (const size_t cut : cuts) {
      ASSERT_TRUE(log->Apply(&image, applied, cut, &error)) << error;
      applied = cut;
      ASSERT_TRUE(WriteHostFile(run_.Sub("cut.img"), image));
      ++figures.cuts;
      Restore outcome = Judge(cut, true, image, job, &figures);
      if (outcome == Restore::kRefused) {
        // As Windows offers for a card it cannot read: check and mend it, then restore.
        ++figures.fsckFirst;
        const test::CommandResult mended =
            test::RunProgram({"/usr/sbin/fsck.fat", "-a", run_.Sub("cut.img")});
        EXPECT_LE(mended.exitCode, 1) << mended.out << mended.err;
        outcome = Judge(cut, false, image, job, &figures);
        EXPECT_EQ(outcome, Restore::kDone) << job.name << " cut " << cut
                                           << ": not restored after fsck.fat";
        if (outcome == Restore::kRefused) ++figures.lost;  // no way left to bring it back
      }
      figures.restored += outcome == Restore::kDone ? 1 : 0;
    }
    const std::string name = job.name + (job.mountOptions.empty() ? ", cached" : ", sync");
    std::cout << figures.Line(name) << std::endl;
    RecordProperty("figures", figures.Line(name));
    EXPECT_EQ(figures.lost, 0u);
    EXPECT_EQ(figures.restored, figures.cuts);
    EXPECT_GE(figures.done, 1u);  // the last cut is the finished job
  }

  // `count` of `cuts`, spread evenly and always with the first and the last.
  static std::vector<size_t> Spread(const std::vector<size_t>& cuts, size_t count) {
    if (cuts.size() <= count) return cuts;
    std::vector<size_t> chosen;
    for (size_t k = 0; k < count; ++k) chosen.push_back(cuts[k * (cuts.size() - 1) / (count - 1)]);
    return chosen;
  }

  std::string home_, olderPackage_, newerPackage_;
  std::map<std::string, std::string> oldFiles_;
};

TEST_F(CrashSweep, EngineStoreOverAnOlderInstallationCanBeCutAtAnyWrite) { Sweep(EngineJob()); }

TEST_F(CrashSweep, PanelStoreOverAnOlderInstallationCanBeCutAtAnyWrite) { Sweep(PanelJob()); }

// The same jobs with the driver's write cache: fewer, larger writes in block order, so that a
// cut can leave folders and allocation tables out of step.
StoreJob Cached(StoreJob job) {
  job.mountOptions.clear();
  return job;
}

TEST_F(CrashSweep, CachedEngineStoreCanBeCutAtAnyWrite) { Sweep(Cached(EngineJob())); }

TEST_F(CrashSweep, CachedPanelStoreCanBeCutAtAnyWrite) { Sweep(Cached(PanelJob())); }

}  // namespace
}  // namespace cw::fat
