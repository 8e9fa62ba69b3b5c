// A power cut at any write of a store job. The job runs once onto a card behind the kernel's
// dm-log-writes target, which records every block write; then chosen prefixes of those writes
// are replayed onto a copy of the card's starting image and each cut card is judged in a fresh
// guest: what `verify` says of it must be true, and the backup the job made must bring back
// every file the card held before the job (after fsck.fat where the driver refuses the card).
//
// The same recordings serve two more sweeps. Cards whose writes reorder: a cut made of every
// flush epoch before the power goes and a random part of the writes of the epoch in which it
// goes. Cards that fail or lie: the job runs again from the same start on a card whose sectors,
// those the recorded job first writes at its N-th write or later, refuse writes, refuse reads or
// take writes and drop them (dm-flakey); what the job said must be true of the card it left,
// and that card is judged as a cut card is.
//
// `make test` runs a sample of each; CW_CRASH_SWEEP=full (`make crash-sweep`) runs them all and
// prints the figures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "fat/fat_fixture.h"
#include "fat/write_log.h"
#include "package/package_writer.h"
#include "platform/text.h"
#include "support/card_fixture.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace cw::fat {
namespace {

constexpr size_t kWritesSampled = 300;  // write points between the flushes of a full sweep
constexpr size_t kQuickCuts = 7;        // cuts replayed by the sample of `make test`
constexpr size_t kReorderedStates = 2500;  // different states judged, per cached recording
constexpr size_t kQuickReordered = 2;
constexpr size_t kFaultRuns = 60;  // values of N per failing card in a full sweep
constexpr uint32_t kReorderSeed = 1208;

// CW_CRASH_SWEEP=full runs every sweep at full size; =reordered only the reordered draws of the
// cached recordings (the longest part, about four and a half hours of guests on two cores),
// without their prefix cuts.
std::string SweepMode() {
  const char* chosen = std::getenv("CW_CRASH_SWEEP");
  return chosen == nullptr ? "" : chosen;
}
bool FullSweep() { return SweepMode() == "full" || SweepMode() == "reordered"; }

// CW_FAULT_N="465,645" runs the failing-card sweeps for those values of N only, on every kind
// of card where N is the first write to meet a failing sector: to look again at one run.
std::vector<size_t> ChosenFaultRuns() {
  std::vector<size_t> chosen;
  const char* list = std::getenv("CW_FAULT_N");
  std::istringstream values(list == nullptr ? "" : list);
  for (std::string value; std::getline(values, value, ',');) {
    if (!value.empty()) chosen.push_back(std::stoul(value));
  }
  return chosen;
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

// Small files that only the newer release brings, in new folders of their own: each file's
// first write, and each new folder's, is one more write at which a failing card can begin to
// fail, most of them on clusters that held nothing before the job (where a card whose reads
// fail fails too).
constexpr int kPartFolders = 6, kPartsPerFolder = 10;
void AddParts(PackageSpec* spec, int32_t kind, const std::string& folder) {
  for (int f = 0; f < kPartFolders; ++f) {
    for (int i = 0; i < kPartsPerFolder; ++i) {
      const std::string name = "SET" + std::to_string(f) + "\\P" + std::to_string(i) + ".DAT";
      spec->files.push_back({.kind = kind, .cardPath = folder + "\\" + name,
                             .content = "part " + name + " of " +
                                        std::to_string(spec->releaseNumber)});
    }
  }
}

// A 3940 panel release with its CRC list last, naming the card's OS image and its own files.
PackageSpec PanelRelease(uint32_t seed, const std::string& osImage, bool parts = false) {
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
  if (parts) AddParts(&spec, kKindPanel3940, "BREVANT\\PARTS");
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
  AddParts(&job.newer, kKindEngine2, "APP\\PARTS");
  return job;
}

StoreJob PanelJob() {
  const std::string osImage = Random(200 * 1024, 31);
  StoreJob job;
  job.name = "panel";
  job.target = 2;
  job.ownFiles = {{"NK.BIN", osImage}, {"BREVANT/BPANEL.INI", "kept settings"}};
  job.older = PanelRelease(32, osImage);
  job.newer = PanelRelease(33, osImage, true);
  return job;
}

// The files `spec` places on the card, by mtools path ("APP/MAIN.BIN").
std::map<std::string, std::string> PackageFiles(const PackageSpec& spec, int target) {
  std::map<std::string, std::string> files;
  for (const PackageFileSpec& file : spec.files) {
    const std::optional<std::string> place = test::PlaceOnCard(file, target);
    if (place) files[ReplaceAll(*place, "\\", "/")] = file.content;
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

// A guest's shell function that lists the backup folders' files with their checksums.
constexpr const char* kBackupsListing =
    "backups() { find $HOME/Documents -path '*_CF_BACKUP*' -type f -exec cksum {} + | sort; }\n";

// The sweep's figures for one job.
struct Figures {
  size_t writes = 0, flushPoints = 0;
  size_t cuts = 0, done = 0, doneOlderCopy = 0, restored = 0, fsckFirst = 0, lost = 0;
  size_t jobDone = 0, jobRestored = 0;  // what a job on a failing card said of it
  // Jobs on a failing card that stopped before their backup began: the card must be as it
  // was, and the backup folder still holds an earlier state of the card, not this job's.
  size_t unchanged = 0;
  size_t fsckAgain = 0;  // of fsckFirst, cards whose first pass of fsck.fat left more to mend
  size_t repeats = 0;  // reordered states drawn again: the same writes as one judged before
  std::string Line(const std::string& job) const {
    std::ostringstream line;
    line << "crash sweep " << job << ": ";
    if (writes > 0) line << writes << " writes and " << flushPoints << " flush/FUA points logged; ";
    line << cuts << " cuts replayed; " << done
         << " verified as Done! (" << doneOlderCopy
         << " of them with the older stored package still on the card); " << restored
         << " restored and verified; " << fsckFirst
         << " of them needed fsck.fat first";
    if (fsckAgain > 0) line << " (" << fsckAgain << " a second pass)";
    line << "; " << lost << " lost";
    if (unchanged > 0) line << "; " << unchanged << " left unchanged before any backup";
    if (repeats > 0) line << "; " << repeats << " drawn again and not judged twice";
    return line.str();
  }
};

// How a failing card fails: dm-flakey, always down, over the failing sectors, with these
// features. A card whose reads fail spares the sectors that held data before the job (its old
// files' clusters, which the job may reuse), so that the backup can still read them.
struct CardFault {
  const char* name;
  const char* features;
  bool sparesOldData;
  bool ordinaryUser;
};

class CrashSweep : public FatCardTest {
 protected:
  void SetUp() override {
    FatCardTest::SetUp();
    if (IsSkipped()) return;
    home_ = MakeHome();
    homeSource_ = home_;
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
    ASSERT_TRUE(CopySparse(home_, run_.Sub("home-start.img")));

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
        "home_mount /dev/ubdb || exit 10\n" + std::string(kBackupsListing) +
        "backups >$RUN/backups-before\n"
        "card_mount || exit 3\n";
    if (verifyFirst) {
      script += "step verify " + Card() + "verify --card E: --package " + newerPackage_ + "\n";
    }
    return script + "step restore " + Card() + "store --card E: --restore-only" + restoreOptions_ +
           "\n" +
           "step reverify " + Card() + "verify --card E:\n" + "backups >$RUN/backups-after\n" +
           "cp $HOME/Documents/BREVANT/QUORVANE/DownloadDiagnostics.txt $RUN/\n"
           "dmesg | grep FAT-fs >$RUN/driver.txt\n"
           "exit 0\n";  // the steps' own statuses are judged, not the last grep's
  }

  enum class Restore { kDone, kRefused, kFailed };

  static bool CopySparse(const std::string& from, const std::string& to) {
    const test::CommandResult copied = test::RunProgram({"/bin/cp", "--sparse=always", from, to});
    EXPECT_EQ(copied.exitCode, 0) << copied.err;
    return copied.exitCode == 0;
  }

  // Boots a judge on cut.img with a copy of the home disk. kRefused: the driver did not mount
  // the card or the restore said it failed, which must then be said plainly.
  Restore Judge(size_t cut, bool verifyFirst, const std::string& cutImage, const StoreJob& job,
                Figures* figures) {
    const std::string home = run_.Sub("judge-home.img");
    EXPECT_TRUE(CopySparse(homeSource_, home));
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
                << restore.out << restore.err << "--- the transcript's end:\n"
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
    if (SweepMode() == "reordered" && !job.mountOptions.empty()) GTEST_SKIP() << "no reordering";
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
    if (SweepMode() == "reordered") {
      if (job.mountOptions.empty()) ReorderedCuts(job, *log, start);
      return;
    }

    image = start;
    size_t applied = 0;
    for (const size_t cut : cuts) {
      ASSERT_TRUE(log->Apply(&image, applied, cut, &error)) << error;
      applied = cut;
      ASSERT_TRUE(WriteHostFile(run_.Sub("cut.img"), image));
      JudgeCut(cut, image, job, &figures);
    }
    const std::string name = job.name + (job.mountOptions.empty() ? ", cached" : ", sync");
    Report(name, figures);
    EXPECT_GE(figures.done, 1u);  // the last cut is the finished job
    if (job.mountOptions.empty()) ReorderedCuts(job, *log, start);
  }

  // Judges the card in cut.img (`image`, as the cut left it) and counts it: verify, then the
  // restore, and where the driver refuses the card or the restore fails, fsck.fat and the
  // restore again.
  void JudgeCut(size_t cut, const std::string& image, const StoreJob& job, Figures* figures) {
    ++figures->cuts;
    Restore outcome = Judge(cut, true, image, job, figures);
    if (outcome == Restore::kRefused) {
      // As Windows offers for a card it cannot read: check and mend it, then restore. A pass
      // of fsck.fat can leave what its next pass mends (a folder whose cluster it found free is
      // left pointing at the root, which the driver refuses), so it runs until it finds nothing.
      ++figures->fsckFirst;
      for (int pass = 0; pass < 3; ++pass) {
        const test::CommandResult mended =
            test::RunProgram({"/usr/sbin/fsck.fat", "-a", run_.Sub("cut.img")});
        EXPECT_LE(mended.exitCode, 1) << mended.out << mended.err;
        if (mended.exitCode != 1) break;  // nothing (more) to mend
        figures->fsckAgain += pass == 1 ? 1 : 0;
      }
      outcome = Judge(cut, false, image, job, figures);
      EXPECT_EQ(outcome, Restore::kDone) << job.name << " cut " << cut
                                         << ": not restored after fsck.fat";
      if (outcome == Restore::kRefused) ++figures->lost;  // no way left to bring it back
    }
    figures->restored += outcome == Restore::kDone ? 1 : 0;
  }

  void Report(const std::string& name, const Figures& figures) {
    std::cout << figures.Line(name) << std::endl;
    RecordProperty("figures", figures.Line(name));
    EXPECT_EQ(figures.lost, 0u);
    EXPECT_EQ(figures.restored + figures.unchanged, figures.cuts);
  }

  // Writes between two flushes may reach the card in any order: each state holds every epoch
  // before the one in which the power goes, and a random part of that epoch's writes (a fixed
  // seed, so every run tries the same states). An epoch ends at a flush or FUA entry.
  void ReorderedCuts(const StoreJob& job, const WriteLog& log, const std::string& start) {
    const std::vector<WriteLogEntry>& entries = log.entries();
    std::vector<size_t> epochStarts = {0};
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].IsFlushPoint()) epochStarts.push_back(i + 1);
    }
    epochStarts.push_back(entries.size());
    std::vector<size_t> epochs;  // those with two writes or more, which can reorder
    for (size_t e = 0; e + 1 < epochStarts.size(); ++e) {
      size_t writes = 0;
      for (size_t i = epochStarts[e]; i < epochStarts[e + 1]; ++i) writes += entries[i].IsWrite();
      if (writes >= 2) epochs.push_back(e);
    }
    ASSERT_FALSE(epochs.empty());
    std::mt19937 random(kReorderSeed + static_cast<uint32_t>(job.target));
    Figures figures;
    const size_t states = FullSweep() ? kReorderedStates : kQuickReordered;
    std::string error;
    const std::string name = job.name + ", cached, reordered";
    std::set<std::vector<size_t>> judged;  // each state's epoch, then the writes it holds
    // CW_REORDERED_FROM=K goes on from draw K, for a long run spread over several sittings: the
    // figures of the draws before K are those the earlier run printed at K. CW_REORDERED_TO=L
    // stops before draw L (FROM=K TO=K+1 judges draw K again, alone).
    const char* from = std::getenv("CW_REORDERED_FROM");
    const char* to = std::getenv("CW_REORDERED_TO");
    const size_t firstDraw = from == nullptr ? 0 : std::stoul(from);
    const size_t endDraw = to == nullptr ? SIZE_MAX : std::stoul(to);
    // Draws go on until that many different states are judged: a small epoch is drawn as often
    // as a large one, and gives the same few states again and again. The bound on draws only
    // keeps a recording with too few possible states from drawing for ever.
    for (size_t k = 0; judged.size() < states && k < 20 * states && k < endDraw; ++k) {
      const size_t e = epochs[random() % epochs.size()];
      std::vector<size_t> state = {e};
      for (size_t i = epochStarts[e]; i < epochStarts[e + 1]; ++i) {
        if (random() % 2 == 0) state.push_back(i);
      }
      // A run that goes on from where an earlier one stopped only remembers what that judged.
      if (k < firstDraw) {
        judged.insert(state);
        continue;
      }
      // The same writes make the same card, byte for byte: it is judged once.
      if (judged.insert(state).second) {
        std::string image = start;
        ASSERT_TRUE(log.Apply(&image, 0, epochStarts[e], &error)) << error;
        for (size_t w = 1; w < state.size(); ++w) {
          ASSERT_TRUE(log.Apply(&image, state[w], state[w] + 1, &error)) << error;
        }
        ASSERT_TRUE(WriteHostFile(run_.Sub("cut.img"), image));
        JudgeCut(k, image, job, &figures);
      } else {
        ++figures.repeats;
      }
      // A long run shows how far it got.
      if ((k + 1) % 250 == 0) {
        std::cout << figures.Line(name) << " (" << k + 1 << " drawn)" << std::endl;
      }
    }
    if (to == nullptr) {
      EXPECT_EQ(judged.size(), states) << "the recording has too few different reordered states";
    }
    Report(name, figures);
  }

  // The recorded job run again from the same card and PC, once per chosen N, on a card whose
  // sectors first written by the recorded job at its N-th write or later fail as `fault` says
  // (the run writes as the recording did until then, so its N-th write is the first to fail).
  // What the job said must be true of the card it left; then that card is judged as a cut is.
  void FaultSweep(const StoreJob& job, const std::vector<CardFault>& faults) {
    if (SweepMode() == "reordered") GTEST_SKIP() << "only the reordered draws";
    Record(job);
    if (HasFatalFailure()) return;
    std::string error;
    const std::optional<WriteLog> log = WriteLog::Load(run_.Sub("write.log"), &error);
    ASSERT_TRUE(log.has_value()) << error;
    ASSERT_EQ(log->sectorSize(), 512u);
    const std::string start = ReadHostFile(run_.Sub("start.img"));
    oldFiles_ = OldFiles();
    restoreOptions_ = job.target == 1 ? " --target engine" : " --target panel";
    const std::vector<WriteLogEntry>& entries = log->entries();
    constexpr size_t kNever = SIZE_MAX;
    std::vector<size_t> first(start.size() / 512, kNever);  // the entry that first writes it
    for (size_t i = entries.size(); i-- > 0;) {
      if (!entries[i].IsWrite()) continue;
      for (uint64_t s = entries[i].sector; s < entries[i].sector + entries[i].sectors; ++s) {
        first[s] = i;
      }
    }
    std::vector<bool> heldData(first.size());
    for (size_t s = 0; s < first.size(); ++s) {
      const char* sector = start.data() + s * 512;
      heldData[s] = std::any_of(sector, sector + 512, [](char c) { return c != 0; });
    }
    for (const CardFault& fault : faults) {
      const auto failing = [&](size_t s, size_t n) {
        return first[s] != kNever && first[s] >= n && !(fault.sparesOldData && heldData[s]);
      };
      std::vector<size_t> candidates;  // writes that are the first to meet a failing sector
      for (size_t i = 0; i < entries.size(); ++i) {
        const WriteLogEntry& entry = entries[i];
        for (uint64_t s = entry.sector; entry.IsWrite() && s < entry.sector + entry.sectors; ++s) {
          if (first[s] == i && failing(s, i)) {
            candidates.push_back(i);
            break;
          }
        }
      }
      // Enough places to begin for a full sweep to try 50 of them or more on every card.
      ASSERT_GE(candidates.size(), 50u) << fault.name;
      Figures figures;
      std::vector<size_t> chosen = {candidates[candidates.size() / 2]};
      if (FullSweep()) chosen = Spread(candidates, kFaultRuns);
      std::cout << job.name << ", " << fault.name << ": " << candidates.size()
                << " writes are the first to meet a failing sector" << std::endl;
      if (!ChosenFaultRuns().empty()) {
        chosen.clear();
        for (const size_t n : ChosenFaultRuns()) {
          if (std::count(candidates.begin(), candidates.end(), n) > 0) chosen.push_back(n);
        }
        if (chosen.empty()) continue;
      }
      for (const size_t n : chosen) {
        std::string table;
        for (size_t at = 0; at < first.size();) {
          const bool bad = failing(at, n);
          size_t end = at + 1;
          while (end < first.size() && failing(end, n) == bad) ++end;
          table += std::to_string(at) + " " + std::to_string(end - at) +
                   (bad ? " flakey /dev/ubda " : " linear /dev/ubda ") + std::to_string(at) +
                   (bad ? std::string(" 0 1 ") + fault.features : "") + "\n";
          at = end;
        }
        ASSERT_TRUE(WriteHostFile(run_.Sub("fault.table"), table));
        FaultRun(job, fault, n, start, &figures);
      }
      Report(job.name + ", " + fault.name, figures);
      std::cout << "  the job itself said \"Done!\" " << figures.jobDone
                << " times and \"Restore OK!!\" " << figures.jobRestored << " times"
                << std::endl;
    }
  }

  void FaultRun(const StoreJob& job, const CardFault& fault, size_t n, const std::string& start,
                Figures* figures) {
    const std::string where = job.name + ", " + fault.name + ", from entry " +
                              std::to_string(n) + ": ";
    ASSERT_TRUE(WriteHostFile(run_.Sub("cut.img"), start));
    homeSource_ = run_.Sub("fault-home.img");
    ASSERT_TRUE(CopySparse(run_.Sub("home-start.img"), homeSource_));
    // The ordinary user's card is one fstab lets users mount, so that the job can unmount it
    // and mount it again for its read-back, as it does a card the desktop mounted.
    const std::string options = "shortname=mixed,utf8" +
                                std::string(fault.ordinaryUser ? ",uid=1000,gid=1000" : "") +
                                (job.mountOptions.empty() ? "" : "," + job.mountOptions);
    const GuestRun run = BootFresh(
        "fault",
        "home_mount /dev/ubdb || exit 10\n" + std::string(kBackupsListing) +
            "backups >$RUN/backups-start\n" +
            std::string(fault.ordinaryUser
                            ? "mkdir -p $HOME/tmp && chown -R 1000:1000 $HOME && "
                              "chmod go+rx $RUN ${RUN%/*} && echo \"/dev/mapper/card $CARD vfat "
                              "users,noauto," + options + " 0 0\" >$RUN/fstab && "
                              "mount --bind $RUN/fstab /etc/fstab || exit 11\n"
                            : "") +
            "dmsetup create card " + run_.Sub("fault.table") + " && dmsetup mknodes card || exit 8\n"
            "mount -t vfat -o " + options + " /dev/mapper/card $CARD || exit 7\n"
            "step job " + (fault.ordinaryUser ? "setpriv --reuid=1000 --regid=1000 --clear-groups env TMPDIR=$HOME/tmp " : "") +
            Card() + "store --card E: --yes --package " + newerPackage_ +
            (job.target == 1 ? " --target engine" : " --target panel") + "\n"
            "backups >$RUN/backups-job\n"
            "umount $CARD; dmsetup remove card; chown -R 0:0 $HOME; exit 0\n",
        {run_.Sub("cut.img"), homeSource_});
    ASSERT_TRUE(run.finished) << where << run.Describe();
    ASSERT_EQ(run.status, 0) << where << run.Describe();
    const StepResult store = guest_.Step("job");
    EXPECT_TRUE(store.exitCode == 0 || store.exitCode == 1)
        << where << "the job crashed: " << store.exitCode << store.out << store.err;
    const std::string image = ReadHostFile(run_.Sub("cut.img"));
    const CardImage card(run_.Sub("cut.img"));
    const auto judged = [&](const std::vector<std::string>& differ, const char* claim) {
      EXPECT_TRUE(differ.empty()) << where << claim << " but these differ: " << Joined(differ);
    };
    if (Has(store.out, "Done!")) {
      ++figures->jobDone;
      EXPECT_EQ(store.exitCode, 0) << where << store.err;
      judged(Differences(card, StoredFiles(job.newer, job.target)), "\"Done!\"");
    } else {
      EXPECT_EQ(store.exitCode, 1) << where << store.out << store.err;
      EXPECT_FALSE(store.err.empty()) << where << "the job failed without saying why";
    }
    if (Has(store.out, "Restore OK!!")) {
      ++figures->jobRestored;
      judged(Differences(card, oldFiles_), "\"Restore OK!!\"");
    }
    // A job that never began its backup left the folder as the earlier store made it: a
    // "Restore Only" from there would put back that older card, so no restore is judged; the
    // card must hold its old files untouched.
    const std::string backupsStart = ReadHostFile(guest_.runFolder() + "/backups-start");
    EXPECT_FALSE(backupsStart.empty()) << where << "no earlier backup on the home disk";
    if (backupsStart == ReadHostFile(guest_.runFolder() + "/backups-job")) {
      ++figures->cuts;
      ++figures->unchanged;
      const std::vector<std::string> differ = Differences(card, oldFiles_);
      EXPECT_TRUE(differ.empty()) << where << "no backup made, yet these changed: "
                                  << Joined(differ);
      figures->lost += differ.empty() ? 0 : 1;
      return;
    }
    JudgeCut(n, image, job, figures);
  }

  // `count` of `cuts`, spread evenly and always with the first and the last.
  static std::vector<size_t> Spread(const std::vector<size_t>& cuts, size_t count) {
    if (cuts.size() <= count) return cuts;
    std::vector<size_t> chosen;
    for (size_t k = 0; k < count; ++k) chosen.push_back(cuts[k * (cuts.size() - 1) / (count - 1)]);
    return chosen;
  }

  std::string home_, homeSource_, olderPackage_, newerPackage_;
  // After a failing card, the technician names the card's kind for "Restore Only": the failed
  // job may have removed the files that tell it.
  std::string restoreOptions_;
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

// Cards that fail or lie from the N-th write of the recorded job on. `make test` tries one N
// per card; each job meets two kinds of card there, all four in a full sweep.
using Fault = CardFault;
const Fault kWritesFail{"writes fail", "1 error_writes", false, false};
const Fault kReadsFail{"reads fail", "", true, false};
const Fault kWritesDropped{"writes dropped", "1 drop_writes", false, false};
const Fault kWritesDroppedUser{"writes dropped, ordinary user", "1 drop_writes", false, true};

// CW_CARD_FAULT="ordinary user" keeps the cards whose name holds those words.
std::vector<Fault> Faults(std::vector<Fault> quick) {
  std::vector<Fault> faults = quick;
  if (FullSweep() || !ChosenFaultRuns().empty()) {
    faults = {kWritesFail, kReadsFail, kWritesDropped, kWritesDroppedUser};
  }
  const char* kept = std::getenv("CW_CARD_FAULT");
  if (kept != nullptr) {
    std::erase_if(faults, [kept](const Fault& f) { return !Has(f.name, kept); });
  }
  return faults;
}

TEST_F(CrashSweep, EngineStoreOnAFailingOrLyingCard) {
  FaultSweep(EngineJob(), Faults({kWritesFail, kWritesDroppedUser}));
}

TEST_F(CrashSweep, PanelStoreOnAFailingOrLyingCard) {
  FaultSweep(PanelJob(), Faults({kReadsFail, kWritesDropped}));
}

}  // namespace
}  // namespace cw::fat
