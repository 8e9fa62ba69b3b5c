// End to end: `cardwright store` on a folder mapped as a removable FAT16 card, with the data
// folder under a temporary HOME, as a technician would run it.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "support/crc.h"
#include "support/package_builder.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "rules/bhelper.h"

namespace cw {
namespace {

using test::Crc;

namespace fs = std::filesystem;
using test::CommandResult;
using test::RunCardwright;
using test::HostFiles;
using test::ReadHostFile;
using test::TempDir;
using test::WriteHostFile;
using Tree = std::map<std::string, std::string>;

constexpr uint64_t kCardBytes = 64ull << 20;
const char kQuestion[] = "All files will be replaced with new ones.";

// The shared Engine release with a common file, which lands in an Engine card's root.
PackageSpec EnginePackage(const std::string& main = "new main") {
  PackageSpec spec = test::EngineRelease(main, "u");
  spec.files.push_back(test::MakeFile(kKindCommonRaw, "TOOLS\\README.TXT", "r"));
  return spec;
}

// A panel release for one model: application files of that model (and of the other model,
// which must stay off the card), and the model's CRC list last. Its list names the OS image
// the card keeps when the release carries none.
PackageSpec PanelPackage(int32_t target, const std::string& os, bool withOs) {
  const bool p3940 = target == 2;
  const int32_t kind = p3940 ? kKindPanel3940 : kKindPanel3950;
  const int32_t other = p3940 ? kKindPanel3950 : kKindPanel3940;
  const int32_t raw = p3940 ? kKindPanel3940Raw : kKindPanel3950Raw;
  const std::string image = p3940 ? "NK.BIN" : "NK.NBG";
  PackageSpec spec;
  spec.releaseNumber = p3940 ? 0x03940001 : 0x03950002;
  spec.winceIncluded = withOs ? 1 : 0;
  std::vector<CRCListEntry> list;
  auto add = [&](int32_t k, const std::string& path, const std::string& content) {
    spec.files.push_back({.kind = k, .cardPath = path, .content = content});
    if (k == kind || k == raw) list.push_back({path, Crc(content)});
  };
  add(kind, "BREVANT\\APP.EXE", "new app " + image);
  if (withOs) add(kind, image, os);
  add(other, "BREVANT\\APP.EXE", "the other model's app");
  for (int i = 0; i < 6; ++i) add(kind, "BREVANT\\SCREENS\\S" + std::to_string(i) + ".SCR", "s");
  add(raw, "BREVANT\\DATA\\TABLE.DAT", "table");
  if (!withOs) list.insert(list.begin() + 1, {image, Crc(os)});
  spec.files.push_back({.kind = raw,
                        .cardPath = p3940 ? "Quorvane File CRCs.dat" : "Quorvane File CRCs 3950.dat",
                        .content = BuildCRCList(list)});
  return spec;
}

class StoreTest : public ::testing::Test {
 protected:
  std::string DataFolder() const { return home.Sub("Documents/BREVANT/QUORVANE"); }
  std::string EngineBackup() const { return DataFolder() + "/QUORVANE_ENGINE_CF_BACKUP"; }
  std::string PanelBackup() const { return DataFolder() + "/QUORVANE_PANEL_CF_BACKUP"; }

  CommandResult Cardwright(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--drive", "E:=" + card.path() + "," + driveType +
                                              ",fs=" + fileSystem + ",bytes=" +
                                              std::to_string(cardBytes) +
                                              (serial.empty() ? "" : ",serial=" + serial)});
    return RunCardwright(args,
                         {{"HOME", home.path()},
                          {"XDG_CONFIG_HOME", home.Sub(".config")},
                          {"CARDWRIGHT_DRIVES", ""}},
                         input);
  }
  CommandResult Store(std::vector<std::string> extra) {
    std::vector<std::string> args{"store", "--card", "E:"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Cardwright(args);
  }
  CommandResult StoreYes(const std::string& package, std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--package", package, "--yes"});
    return Store(extra);
  }
  // Writes a package into the work folder; returns its host path.
  std::string Package(const PackageSpec& spec, const std::string& name = "NEW.FWP") {
    packageBytes = BuildPackage(spec);
    return work.Write(name, packageBytes);
  }

  void OldEngineCard() {
    card.Write("UPGRADE.FWP", BuildPackage(EnginePackage("old main")));
    card.Write("APP/MAIN.BIN", "old main");
    card.Write("APP/LIB/UTIL.DLL", "u");
    card.Write("README.TXT", "r");
    card.Write("NOTES.TXT", "the technician's notes");
  }
  void OldPanelCard(int32_t target) {
    const bool p3940 = target == 2;
    const std::string os = p3940 ? "old os 3940" : "old os 3950";
    card.Write(p3940 ? "NK.BIN" : "NK.NBG", os);
    card.Write("BOOT.BMP", "boot");
    card.Write("BREVANT/APP.EXE", "old app");
    card.Write("BREVANT/OLD.DLL", "old dll");
    card.Write("BREVANT/BPANEL.INI", "panel settings");
    card.Write("BREVANT/PUBLIC/LOG.TXT", "operator log");
    card.Write(p3940 ? "Quorvane File CRCs.dat" : "Quorvane File CRCs 3950.dat",
               BuildCRCList({{"BREVANT\\APP.EXE", Crc("old app")},
                             {p3940 ? "NK.BIN" : "NK.NBG", Crc(os)},
                             {"BREVANT\\OLD.DLL", Crc("old dll")},
                             {"BREVANT\\BPANEL.INI", Crc("panel settings")}}));
  }

  std::string Log() const { return ReadHostFile(DataFolder() + "/fwp_downloader.log"); }
  std::string Transcript() const {
    return ReadHostFile(DataFolder() + "/DownloadDiagnostics.txt");
  }
  std::vector<std::string> StageLines() const {
    std::vector<std::string> stages;
    const std::string log = Log();
    for (size_t at = log.find(" - " "  Stage "); at != std::string::npos;
         at = log.find(" - " "  Stage ", at + 1)) {
      stages.push_back(log.substr(at + 3, log.find("\r\n", at) - at - 3));
    }
    return stages;
  }
  static std::vector<std::string> Stages(int last, int skipped = 0) {
    std::vector<std::string> lines;
    for (int n = 1; n <= last; ++n)
      if (n != skipped) lines.push_back("  Stage " + std::to_string(n) + "...");
    return lines;
  }
  void ExpectVerifies() {
    const CommandResult verify = Cardwright({"verify", "--card", "E:"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
  }

  TempDir home, card, work;
  std::string driveType = "removable";
  std::string fileSystem = "FAT16";
  std::string serial;
  uint64_t cardBytes = kCardBytes;
  std::string packageBytes;
};

TEST_F(StoreTest, EngineCardGetsThePackageItsCopyVersionFileAndRecord) {
  OldEngineCard();
  const Tree before = HostFiles(card.path());
  const CommandResult result = StoreYes(Package(EnginePackage()));
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_NE(result.err.find(kQuestion), std::string::npos);

  EXPECT_EQ(card.Read("APP/MAIN.BIN"), "new main");
  EXPECT_EQ(card.Read("README.TXT"), "r");  // a common file lands in an Engine card's root
  EXPECT_EQ(card.Read("NOTES.TXT"), "the technician's notes");
  EXPECT_EQ(card.Read("UPGRADE.FWP"), packageBytes);
  EXPECT_EQ(card.Read("FWPVers.bin"),
            std::string("\x01\0\0\0\x09\0\0\0A\0\0\0\x02\0\0\0\x0F\0\0\0B\0\0\0", 24));
  const std::string record = card.Read("FWP_INFO_FILE.TXT");
  EXPECT_EQ(record.rfind("****** Upgrade Info Start ******\r\n", 0), 0u) << record;
  EXPECT_NE(record.find("Target Device: QuorVane Engine\r\n"), std::string::npos);
  EXPECT_NE(record.find("FWP File Generator Version: 2.015\r\n"), std::string::npos);

  // The backup holds the card as it was, under upper-case names.
  Tree expected;
  for (const auto& [path, content] : before) {
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    expected[upper] = content;
  }
  EXPECT_EQ(HostFiles(EngineBackup()), expected);

  EXPECT_EQ(StageLines(), Stages(18));
  const std::string log = Log();
  EXPECT_NE(log.find("  DownloadAndVerify complete."), std::string::npos);
  // Host paths as this host writes them, case kept; never in the system's own C:\ form.
  EXPECT_NE(log.find("  the backup root is " + EngineBackup() + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("Datapath: " + DataFolder() + "\r\n"), std::string::npos);
  EXPECT_EQ(log.find("C:\\"), std::string::npos);
  const std::string transcript = Transcript();
  EXPECT_NE(transcript.find("Verify Complete\r\nDownload Complete."), std::string::npos)
      << transcript;
  EXPECT_NE(ReadHostFile(DataFolder() + "/LastPathUsed.txt").find("NEW.FWP"),
            std::string::npos);
  const nlohmann::json line =
      nlohmann::json::parse(ReadHostFile(DataFolder() + "/CardJournal.jsonl"));
  EXPECT_EQ(line["outcome"], "passed");
  EXPECT_EQ(line["stage"], "verification");
  EXPECT_EQ(line["front_end"], "command_line");
  EXPECT_EQ(line["backup"]["action"], "taken") << line;
  EXPECT_FALSE(line["backup"]["name"].get<std::string>().empty());
  EXPECT_FALSE(line["phases"].empty());
  ExpectVerifies();
}

TEST_F(StoreTest, OldPackageFormatLeavesTheGeneratorOutOfTheVersionFile) {
  OldEngineCard();
  PackageSpec spec = EnginePackage();
  spec.formatRevision = 7;
  ASSERT_EQ(StoreYes(Package(spec)).exitCode, 0);
  EXPECT_EQ(card.Read("FWPVers.bin"),
            std::string("\x01\0\0\0\x07\0\0\0A\0\0\0", 12) + std::string(12, '\0'));
}

TEST_F(StoreTest, TwoStoresLeaveTwoRecords) {
  OldEngineCard();
  const std::string package = Package(EnginePackage());
  ASSERT_EQ(StoreYes(package).exitCode, 0);
  const std::string first = card.Read("FWP_INFO_FILE.TXT");
  // Without --package the last package is used again.
  ASSERT_EQ(Store({"--yes"}).exitCode, 0);
  const std::string both = card.Read("FWP_INFO_FILE.TXT");
  ASSERT_EQ(both.size(), 2 * first.size());
  EXPECT_EQ(both.substr(0, first.size()), first);
  EXPECT_EQ(both.substr(first.size()).rfind("****** Upgrade Info Start ******\r\n", 0), 0u);
  EXPECT_EQ(both.substr(both.size() - 36), "****** Upgrade Info End ******\r\n\r\n\r\n");
}

TEST_F(StoreTest, EngineCardWithThe3950PanelSupportGetsBothStoredCopies) {
  OldEngineCard();
  PackageSpec spec = EnginePackage();
  spec.panel3950Support = true;
  spec.winceIncluded = 1;
  spec.files.push_back({.kind = kKindPanel3950, .cardPath = "BREVANT\\APP.EXE", .content = "a"});
  spec.files.push_back({.kind = kKindPanel3950, .cardPath = "NK.NBG", .content = "os"});
  const CommandResult result = StoreYes(Package(spec));
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  for (const char* copy : {"UPGRADE.FWP", "FWP_3950.FWP"}) {
    const CommandResult inspect = Cardwright({"inspect", card.Sub(copy)});
    EXPECT_EQ(inspect.exitCode, 0) << copy << inspect.err;
  }
  EXPECT_NE(Cardwright({"inspect", card.Sub("FWP_3950.FWP")}).out.find("NK.NBG"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(card.Sub("NK.NBG")));
  ExpectVerifies();
}

TEST_F(StoreTest, PanelCardsKeepProtectedFilesAndGetTheReleaseNumber) {
  for (int32_t target : {2, 3}) {
    SCOPED_TRACE(target);
    fs::remove_all(card.path());
    fs::create_directories(card.path());
    fs::remove(DataFolder() + "/fwp_downloader.log");
    OldPanelCard(target);
    const bool p3940 = target == 2;
    const std::string os = p3940 ? "old os 3940" : "new os 3950";
    const CommandResult result = StoreYes(Package(PanelPackage(target, os, !p3940)));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;

    EXPECT_EQ(card.Read("BREVANT/APP.EXE"), p3940 ? "new app NK.BIN" : "new app NK.NBG");
    EXPECT_EQ(card.Read("BREVANT/DATA/TABLE.DAT"), "table");
    EXPECT_FALSE(fs::exists(card.Sub("BREVANT/OLD.DLL")));  // cleaned away
    EXPECT_EQ(card.Read("BREVANT/BPANEL.INI"), "panel settings");
    EXPECT_EQ(card.Read("BREVANT/PUBLIC/LOG.TXT"), "operator log");
    EXPECT_EQ(card.Read(p3940 ? "NK.BIN" : "NK.NBG"), os);
    EXPECT_EQ(card.Read("BREVANT/ReleaseNumber"),
              p3940 ? std::string("\x01\0\x94\x03", 4) : std::string("\x02\0\x95\x03", 4));
    EXPECT_FALSE(fs::exists(card.Sub("UPGRADE.FWP")));
    EXPECT_FALSE(fs::exists(card.Sub("FWPVers.bin")));
    EXPECT_EQ(HostFiles(PanelBackup())["BREVANT/OLD.DLL"], "old dll");
    EXPECT_NE(card.Read("FWP_INFO_FILE.TXT").find(p3940 ? "QuorVane 3940 Panel"
                                                        : "QuorVane 3950 Panel"),
              std::string::npos);
    ExpectVerifies();
  }
  EXPECT_EQ(StageLines(), Stages(18, 13));
  EXPECT_EQ(Log().find("  Stage 13..."), std::string::npos);
}

TEST_F(StoreTest, UnknownCardTakesTheTargetChoice) {
  card.Write("DATA.BIN", "unknown");
  const std::string engine = Package(EnginePackage(), "ENGINE.FWP");
  CommandResult result = Store({"--package", engine, "--yes"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("Compact Flash type could not be determined."), std::string::npos);
  // The window's Advanced Settings are an option here, and the refusal says which.
  EXPECT_NE(result.err.find("Use Advanced Settings to set type.\n\nOn the command line: --target "
                            "engine|panel\n"),
            std::string::npos)
      << result.err;

  const std::string panel = Package(PanelPackage(3, "os", true), "PANEL.FWP");
  result = Store({"--package", panel, "--yes", "--target", "panel"});
  EXPECT_EQ(result.exitCode, 1);  // nobody could answer the chooser
  EXPECT_NE(result.err.find("Please specify a panel version before continuing."),
            std::string::npos);
  EXPECT_EQ(HostFiles(card.path()), (Tree{{"DATA.BIN", "unknown"}}));

  result = Store({"--package", panel, "--yes", "--target", "panel", "--panel-model", "3950"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(card.Read("NK.NBG"), "os");
  EXPECT_NE(card.Read("FWP_INFO_FILE.TXT").find("Target Device: Other\r\n"), std::string::npos);

  fs::remove_all(card.path());
  fs::create_directories(card.path());
  card.Write("DATA.BIN", "unknown");
  result = Store({"--package", engine, "--yes", "--target", "engine"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(card.Read("UPGRADE.FWP"), ReadHostFile(engine));
  EXPECT_EQ(card.Read("DATA.BIN"), "unknown");
  // The journal names each card's kind as the job took it, not as the options asked for it.
  std::vector<std::string> kinds;
  std::istringstream journal(ReadHostFile(DataFolder() + "/CardJournal.jsonl"));
  for (std::string text; std::getline(journal, text);) {
    const nlohmann::json line = nlohmann::json::parse(text);
    kinds.push_back(line["outcome"].get<std::string>() + " " + line["card"]["kind"].dump() + " " +
                    line["card"]["panel_model"].dump());
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"refused null null", "refused null null",
                                             "passed \"panel\" 3950",
                                             "passed \"engine\" null"}));
}

// Refusals: a message, exit status 1, and the card and the old backup as they were.
class StoreRefusalTest : public StoreTest {
 protected:
  void SetUp() override {
    OldEngineCard();
    WriteHostFile(EngineBackup() + "/OLD/BACKUP.DAT", "an older backup");
    package = Package(EnginePackage());
    cardBefore = HostFiles(card.path());
  }
  void ExpectRefused(const CommandResult& result, const std::string& message) {
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_EQ(HostFiles(card.path()), cardBefore);
    EXPECT_EQ(HostFiles(EngineBackup()), (Tree{{"OLD/BACKUP.DAT", "an older backup"}}));
    EXPECT_EQ(Log().find(" - BackupFiles\r\n"), std::string::npos);
  }
  std::string package;
  Tree cardBefore;
};

TEST_F(StoreRefusalTest, EachCheckBeforeTheBackup) {
  ExpectRefused(Store({"--package", package, "--yes", "--target", "panel"}),
                "Placing panel files on the engine compact flash is not permitted.");
  ExpectRefused(Store({"--package", package}), kQuestion);  // Cancel: nobody to answer OK
  ExpectRefused(Cardwright({"store", "--card", "", "--package", package, "--yes"}),
                "Please choose a valid drive.");

  PackageSpec damaged = EnginePackage();
  std::string bytes = BuildPackage(damaged);
  bytes[bytes.size() - 2] ^= 0x40;
  ExpectRefused(StoreYes(work.Write("DAMAGED.FWP", bytes)), "FWP file failed CRC test!");

  PackageSpec newer = EnginePackage();
  newer.formatRevision = 10;
  ExpectRefused(StoreYes(Package(newer, "NEWER.FWP")),
                "FWP Downloader and FWP file are incompatible.");

  driveType = "fixed";
  ExpectRefused(StoreYes(package), "Invalid drive type selected.");
  driveType = "removable";
  fileSystem = "FAT32";
  ExpectRefused(StoreYes(package), "incompatible FAT type");
}

TEST_F(StoreRefusalTest, PanelChecks) {
  fs::remove_all(card.path());
  fs::create_directories(card.path());
  OldPanelCard(2);
  cardBefore = HostFiles(card.path());
  const auto panelBackupBefore = HostFiles(PanelBackup());
  ExpectRefused(StoreYes(package, {"--target", "engine"}),
                "Placing engine files on the panel compact flash is not permitted.");

  cardBytes = 1100;  // the package, the kept files and 1000 bytes need more
  ExpectRefused(StoreYes(Package(PanelPackage(2, "old os 3940", false), "PANEL.FWP")),
                "There is insufficient space on this compact flash");
  EXPECT_EQ(HostFiles(PanelBackup()), panelBackupBefore);
}

// Failures after the backup: the old card comes back, file for file.
class StoreFailureTest : public StoreTest {
 protected:
  void ExpectRestored(const CommandResult& result, const Tree& before) {
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    const Tree after = HostFiles(card.path());
    for (const auto& [path, content] : before) {
      auto found = after.find(path);
      ASSERT_NE(found, after.end()) << path;
      EXPECT_EQ(found->second, content) << path;
    }
    EXPECT_EQ(after.count("FWP_INFO_FILE.TXT"), before.count("FWP_INFO_FILE.TXT"));
    EXPECT_NE(Transcript().find("Restore OK!!"), std::string::npos) << Transcript();
    // A restored card is no stored card: nothing of the run may claim it.
    EXPECT_EQ(result.out.find("Done!"), std::string::npos) << result.out;
  }
  // A card file whose backup path is longer than the PC allows (PATH_MAX), listed after the
  // others: the backup fails half-way, whoever runs it.
  void FileTheBackupCannotTake() {
    std::string deep = "BREVANT";
    while (deep.size() < 3950) deep += "/" + std::string(190, 'D');
    card.Write(deep + "/LAST.TXT", "deep");
  }
};

TEST_F(StoreFailureTest, DamagedCompressedData) {
  OldEngineCard();
  const Tree before = HostFiles(card.path());
  PackageLayout layout;
  std::string bytes = BuildPackage(EnginePackage(std::string(4000, 'm')), &layout);
  const FILE_INFO_STRUCT& first = layout.records[0];
  bytes[first.dataOffset + 12 + first.storedSize / 2] ^= 0x5A;  // past the name stamp
  bytes.replace(0, 4, std::string(4, '\0'));
  const uint32_t crc = Crc(bytes);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(crc >> (8 * i));

  const CommandResult result = StoreYes(work.Write("ZLIB.FWP", bytes));
  EXPECT_NE(result.err.find("Reinflate Init Failed"), std::string::npos) << result.err;
  ExpectRestored(result, before);
  EXPECT_NE(Log().find("  decompression failed."), std::string::npos);
  ExpectVerifies();
}

TEST_F(StoreFailureTest, FileThatCannotBeCreated) {
  OldEngineCard();
  fs::create_directories(card.Sub("APP/LIB/UTIL.DLL.NEW"));
  PackageSpec spec = EnginePackage();
  spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\LIB\\UTIL.DLL.NEW", .content = "x"});
  const Tree before = HostFiles(card.path());
  const CommandResult result = StoreYes(Package(spec));
  EXPECT_NE(result.err.find("could not be opened after decompression."), std::string::npos);
  ExpectRestored(result, before);
}

TEST_F(StoreFailureTest, PanelCardWithoutTheMakersFolderForTheReleaseNumber) {
  card.Write("NK.BIN", "os");
  card.Write("SETUP.INI", "setup");
  card.Write("Quorvane File CRCs.dat",
             BuildCRCList({{"SETUP.INI", Crc("setup")}, {"NK.BIN", Crc("os")}}));
  const Tree before = HostFiles(card.path());
  PackageSpec spec;
  spec.winceIncluded = 1;
  spec.files.push_back({.kind = kKindPanel3940, .cardPath = "SETUP.INI", .content = "new"});
  spec.files.push_back({.kind = kKindPanel3940, .cardPath = "NK.BIN", .content = "new os"});
  const CommandResult result = StoreYes(Package(spec));
  EXPECT_NE(result.err.find("Failed to place Release file on flash"), std::string::npos);
  ExpectRestored(result, before);
  EXPECT_NE(Log().find("    failed to open E:\\Brevant\\ReleaseNumber"), std::string::npos);
}

// Mended: a failed panel backup was followed by a restore that cleaned the unchanged card.
TEST_F(StoreFailureTest, FailedPanelBackupDeletesNothing) {
  OldPanelCard(2);
  FileTheBackupCannotTake();
  const Tree before = HostFiles(card.path());
  const CommandResult result = StoreYes(Package(PanelPackage(2, "old os 3940", false)));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("File Backup Failed. Process aborted."), std::string::npos);
  EXPECT_EQ(HostFiles(card.path()), before);
  EXPECT_EQ(Transcript().find("Download Complete."), std::string::npos);
}

// Mended: "Restore Only" without any backup cleaned a panel card and put nothing back.
TEST_F(StoreFailureTest, RestoreOnlyWithoutBackupDeletesNothing) {
  OldPanelCard(2);
  const Tree before = HostFiles(card.path());
  const CommandResult result = Store({"--restore-only"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("Nothing was restored"), std::string::npos) << result.err;
  EXPECT_EQ(HostFiles(card.path()), before);
  EXPECT_EQ(result.err.find(kQuestion), std::string::npos);
  // Nothing restored never reads as OK, anywhere.
  EXPECT_NE(Transcript().find("Restore Not Possible!! No Backup Files!!"), std::string::npos);
  for (const std::string& text : {result.out, result.err, Transcript()})
    EXPECT_EQ(text.find("Restore OK"), std::string::npos) << text;
}

// A backup that failed half-way is marked incomplete on disk, so a later "Restore Only" (a new
// run of the program) refuses it instead of cleaning the card and putting back only part.
TEST_F(StoreFailureTest, RestoreOnlyAfterABackupThatFailedHalfWayRefuses) {
  OldPanelCard(2);
  FileTheBackupCannotTake();
  const Tree before = HostFiles(card.path());
  ASSERT_EQ(StoreYes(Package(PanelPackage(2, "old os 3940", false))).exitCode, 1);
  EXPECT_TRUE(fs::exists(PanelBackup() + ".incomplete"));
  EXPECT_FALSE(HostFiles(PanelBackup()).empty());  // the half that was copied

  const CommandResult result = Store({"--restore-only"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("The last backup is incomplete: nothing was restored."),
            std::string::npos)
      << result.err;
  EXPECT_EQ(HostFiles(card.path()), before);
  for (const std::string& text : {result.out, result.err, Transcript()})
    EXPECT_EQ(text.find("Restore OK"), std::string::npos) << text;
}

TEST_F(StoreFailureTest, RestoreOnlyPutsTheLastBackupBack) {
  OldEngineCard();
  const Tree before = HostFiles(card.path());
  const std::string package = Package(EnginePackage());
  ASSERT_EQ(StoreYes(package).exitCode, 0);
  card.Write("APP/MAIN.BIN", "damaged later");
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--restore-only"},
        std::vector<std::string>{"--restore-only", "--no-backup"}}) {
    const CommandResult result = Store(options);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find(kQuestion), std::string::npos);
    // Back to the card before the store; the store's own files outside the backup stay.
    EXPECT_EQ(card.Read("APP/MAIN.BIN"), "old main");
    EXPECT_EQ(card.Read("UPGRADE.FWP"), before.at("UPGRADE.FWP"));
  }
}

// `journal` over a store, a verify and a failed restore only of one card: listed newest first,
// chosen, as JSON and CSV, and checked; an edit breaks the chain where it was made.
TEST_F(StoreFailureTest, TheJournalListsAndChecksTheJobs) {
  serial = "1A2B3C4D";
  OldEngineCard();
  ASSERT_EQ(StoreYes(Package(EnginePackage())).exitCode, 0);
  ExpectVerifies();
  fs::remove_all(EngineBackup());
  ASSERT_NE(Store({"--restore-only"}).exitCode, 0);
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* out;  // a part of standard output (or error for a refusal)
  };
  const Case cases[] = {
      {{"journal"}, 0, "store        1A2B-3C4D"},
      {{"journal", "--card", "1a2b3c4d", "--csv"}, 0, ",verify_only,E:,1A2B-3C4D,"},
      {{"journal", "--card", "0000-0001"}, 0, "There are no entries in the card journal"},
      {{"journal", "--since", "2026-02-30"}, 2, "--since: \"2026-02-30\" is not a date"},
      {{"journal", "--check"}, 0, "The card journal's chain holds: 3 lines."},
  };
  for (const Case& c : cases) {
    const CommandResult result = Cardwright(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args.back() << result.err;
    EXPECT_NE((c.exitCode == 2 ? result.err : result.out).find(c.out), std::string::npos)
        << result.out << result.err;
  }
  const nlohmann::json report = nlohmann::json::parse(Cardwright({"journal", "--json"}).out);
  std::vector<std::string> jobs;
  for (const auto& entry : report["entries"])
    jobs.push_back(entry["job"].get<std::string>() + " " + entry["outcome"].get<std::string>());
  EXPECT_EQ(jobs, (std::vector<std::string>{"restore_only failed", "verify_only passed",
                                            "store passed"}));
  const std::string path = DataFolder() + "/CardJournal.jsonl";
  std::string journal = ReadHostFile(path);
  journal.replace(journal.find("\"passed\""), 8, "\"failed\"");
  WriteHostFile(path, journal);
  const CommandResult check = Cardwright({"journal", "--check"});
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_NE(check.out.find("The card journal's chain breaks at line 2"), std::string::npos)
      << check.out;
}

TEST_F(StoreFailureTest, StoreWithoutBackupCannotRestore) {
  OldEngineCard();
  fs::create_directories(card.Sub("APP/LIB/UTIL.DLL.NEW"));
  PackageSpec spec = EnginePackage();
  spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\LIB\\UTIL.DLL.NEW", .content = "x"});
  const CommandResult result = StoreYes(Package(spec), {"--no-backup"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(Transcript().find("Restore Not Possible!! No Backup Files!!"), std::string::npos);
  EXPECT_NE(Log().find("  proceeding to program the flash.  Backup?  No"), std::string::npos);
  EXPECT_FALSE(fs::exists(EngineBackup() + "/APP"));
}

// Card B is stored, then card A while the PC's disk cannot take A's backup: A stays as it was,
// B's backup stays whole in the history, and only a named, allowed choice puts B's files on A.
TEST_F(StoreFailureTest, AFailedBackupChangesNothingAndBackupsAreChosenByProof) {
  serial = "0000-000B";
  OldPanelCard(2);
  card.Write("BREVANT/BPANEL.INI", "B's settings");
  const std::string package = Package(PanelPackage(2, "old os 3940", false));
  ASSERT_EQ(StoreYes(package).exitCode, 0);

  fs::remove_all(card.path());
  fs::create_directories(card.path());
  serial = "0000-000A";
  OldPanelCard(2);
  card.Write("BREVANT/ONLY_A.TXT", "a file only card A has");
  FileTheBackupCannotTake();
  const Tree before = HostFiles(card.path());
  const CommandResult failed = StoreYes(package);
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.err.find("File Backup Failed. Process aborted."), std::string::npos);
  EXPECT_EQ(HostFiles(card.path()), before);
  EXPECT_NE(Transcript().find("The card's files are unchanged"), std::string::npos);
  EXPECT_EQ(failed.err.find("Restore"), std::string::npos) << failed.err;
  EXPECT_NE(Log().find("  the backup root is " + PanelBackup() + "\r\n"), std::string::npos);
  for (const std::string& text : {Log(), Transcript(), failed.err})
    EXPECT_EQ(text.find("C:\\"), std::string::npos) << text.substr(text.find("C:\\") - 80, 200);

  const CommandResult listed = Cardwright({"backups", "--json"});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  const nlohmann::json report = nlohmann::json::parse(listed.out);
  std::string nameOfB;
  EXPECT_EQ(report["data_folder"], DataFolder());
  for (const auto& backup : report["backups"]) {
    EXPECT_EQ(backup["folder"].get<std::string>().rfind(DataFolder() + "/", 0), 0u) << backup;
    if (backup["latest"] == true && backup["kind"] != "Engine") {
      EXPECT_TRUE(backup["incomplete"].get<bool>()) << backup;  // A's, half made
    }
    if (backup["card_serial"] == "0000-000B" && backup["checks"] == true)
      nameOfB = backup["name"].get<std::string>();
  }
  ASSERT_FALSE(nameOfB.empty()) << listed.out;

  // The latest Panel backup is A's half: refused. B's by name: another card, refused unless
  // the user says so.
  EXPECT_EQ(Store({"--restore-only"}).exitCode, 1);
  const CommandResult foreign = Store({"--restore-only", "--backup", nameOfB});
  EXPECT_EQ(foreign.exitCode, 1);
  EXPECT_NE(foreign.err.find("taken from another card (serial 0000-000B"), std::string::npos)
      << foreign.err;
  EXPECT_EQ(HostFiles(card.path()), before);
  const CommandResult allowed = Store({"--restore-only", "--backup", nameOfB, "--other-card"});
  EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
  EXPECT_EQ(card.Read("BREVANT/BPANEL.INI"), "B's settings");
}

}  // namespace
}  // namespace cw
