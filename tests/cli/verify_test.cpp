// End-to-end runs of `cardwright verify` on folder cards under a temporary HOME.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "package/crc_list_writer.h"
#include "package/file_table.h"
#include "platform/text.h"
#include "support/card_fixture.h"
#include "support/package_builder.h"
#include "rules/bhelper.h"

namespace cw::test {
namespace {

constexpr const char* kFailureHead = "The following files did not pass the CRC test:";

PackageSpec EnginePackage(bool with3950 = false) {
  PackageSpec spec = test::FullEngineRelease(std::string(3000, 'm'));
  spec.panel3950Support = with3950;
  return spec;
}

PackageSpec PanelPackage() {
  PackageSpec spec;
  spec.releaseNumber = 7;
  spec.winceIncluded = 0;
  spec.files = {
      {.kind = kKindPanel3940, .cardPath = "BREVANT\\APP.EXE", .content = "3940 application"},
      {.kind = kKindPanel3940Raw, .cardPath = "BREVANT\\FONTS.BIN", .content = "3940 fonts"},
      {.kind = kKindPanel3950, .cardPath = "BREVANT\\APP3950.EXE", .content = "3950 application"},
      {.kind = kKindPanel3950Raw, .cardPath = "BREVANT\\FONTS3950.BIN", .content = "3950 fonts"},
      {.kind = kKindCommon, .cardPath = "BREVANT\\CONFIG.INI", .content = "[units]"},
      {.kind = kKindCommonRaw, .cardPath = "BREVANT\\MANUAL.PDF", .content = "manual"},
      {.kind = kKindEngine2, .cardPath = "ENGINE.BIN", .content = "not for a panel"},
  };
  return spec;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The last line a run printed on standard output.
std::string LastLine(const std::string& out) {
  std::string text = out;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const size_t cut = text.rfind('\n');
  return cut == std::string::npos ? text : text.substr(cut + 1);
}

class VerifyCommandTest : public ::testing::Test {
 protected:
  // Runs `cardwright verify` on the card, with a package when one is given, and checks that
  // the card is exactly as it was.
  CommandResult Verify(const std::string& package = "") {
    const std::map<std::string, std::string> before = card.Snapshot();
    std::vector<std::string> args = {"verify", "--card", "E:"};
    if (!package.empty()) args.insert(args.end(), {"--package", package});
    CommandResult result = card.Run(args);
    EXPECT_EQ(card.Snapshot(), before) << "the card changed";
    return result;
  }

  CardFixture card;
};

TEST_F(VerifyCommandTest, AnEngineCardPassesAgainstThePackageAndItsStoredCopy) {
  const PackageSpec spec = EnginePackage();
  card.LayEngineCard(spec);
  const std::string package = card.WritePackage(spec);

  CommandResult result = Verify(package);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(LastLine(result.out), "Done!");
  std::vector<std::string> log = card.LogLines();
  for (const char* line : {"FWP Downloader v 1061 beginning execution.", "OnBrowseCrcFile: locating fwp.",
                           "OnChangeEditCompactFlash", "  CFpath is E:", "OnVerify", "VerifyOnly",
                           "BasicFlashCheck", "GetCFInfo", "LoadInfoArray", "Verify",
                           "StoreDiagnostics", "  saved."}) {
    EXPECT_TRUE(Has(log, line)) << line;
  }
  EXPECT_TRUE(Has(log, "  using " + package));
  EXPECT_TRUE(Has(log, "  target type: 1"));
  // The transcript holds the upgrade record, which never reaches the card.
  EXPECT_NE(card.Diagnostics().find("FWP File Name: " + package + "\r\n"), std::string::npos);
  EXPECT_NE(card.Diagnostics().find("Target Device: QuorVane Engine\r\n"), std::string::npos);

  result = Verify();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(LastLine(result.out), "Done!");
  EXPECT_NE(card.Diagnostics().find("FWP File Name: \r\n"), std::string::npos);
}

TEST_F(VerifyCommandTest, AnEngineCardWith3950SupportPassesWithBothStoredCopies) {
  const PackageSpec spec = EnginePackage(/*with3950=*/true);
  card.LayEngineCard(spec);
  CommandResult result = Verify();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // FWP_3950.FWP marks the card as an engine card as soon as it is named.
  EXPECT_NE(result.out.find("Downloading to an ENGINE compact flash\n"), std::string::npos);
  EXPECT_TRUE(Has(card.LogLines(), "  this is an engine flash."));

  result = Verify(card.WritePackage(spec));
  EXPECT_EQ(result.exitCode, 0) << result.err;

  // Each stored copy is checked by its own checksum.
  std::string copy = card.Get("FWP_3950.FWP");
  copy[copy.size() - 3] ^= 0x20;
  card.Put("FWP_3950.FWP", copy);
  result = Verify(card.WritePackage(spec));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find(std::string(kFailureHead) + "\nE:\\FWP_3950.FWP\n"), std::string::npos)
      << result.err;
}

TEST_F(VerifyCommandTest, AModifiedFileFailsAndIsNamed) {
  const PackageSpec spec = EnginePackage();
  card.LayEngineCard(spec);
  card.Put("APP\\TABLES.DAT", "tablez");
  CommandResult result = Verify(card.WritePackage(spec));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "\n" + std::string(kFailureHead) + "\nE:\\APP\\TABLES.DAT\n");
  EXPECT_EQ(LastLine(result.out), "Verify FAILED!!");
  EXPECT_NE(card.Diagnostics().find("\r\nE:\\APP\\TABLES.DAT"), std::string::npos);
}

TEST_F(VerifyCommandTest, AMissingFileFails) {
  const PackageSpec spec = EnginePackage();
  card.LayEngineCard(spec);
  card.Remove("README.TXT");
  CommandResult result = Verify(card.WritePackage(spec));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("\nE:\\README.TXT\n"), std::string::npos) << result.err;
}

TEST_F(VerifyCommandTest, AMissingEmptyFileFailsThoughItsCrcIsZero) {
  PackageSpec spec = EnginePackage();
  spec.files.push_back({.kind = kKindEngine10, .cardPath = "APP\\EMPTY.LOG", .content = ""});
  card.LayEngineCard(spec);
  const std::string package = card.WritePackage(spec);
  EXPECT_EQ(Verify(package).exitCode, 0);
  card.Remove("APP\\EMPTY.LOG");
  CommandResult result = Verify(package);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("\nE:\\APP\\EMPTY.LOG\n"), std::string::npos) << result.err;
}

TEST_F(VerifyCommandTest, PanelCardsPassAgainstThePackageAndTheirCRCLists) {
  const PackageSpec spec = PanelPackage();
  for (int model : {3940, 3950}) {
    SCOPED_TRACE(model);
    CardFixture panel;
    panel.LayPanelCard(spec, model, "windows ce image " + std::to_string(model));
    panel.Put("BOOT.BMP", "boot image");
    const std::map<std::string, std::string> before = panel.Snapshot();

    CommandResult result = panel.Run({"verify", "--card", "E:", "--package", panel.WritePackage(spec)});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Downloading to a PANEL compact flash\n"), std::string::npos);
    EXPECT_TRUE(Has(panel.LogLines(), "  target type: " + std::to_string(model == 3950 ? 3 : 2)));

    result = panel.Run({"verify", "--card", "E:"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(LastLine(result.out), "Done!");
    EXPECT_EQ(panel.Snapshot(), before);
  }
}

TEST_F(VerifyCommandTest, APanelsSecondListInItsWDFolderIsCheckedToo) {
  const PackageSpec spec = PanelPackage();
  card.LayPanelCard(spec, 3940, "windows ce image");
  card.Put("WD\\SETTINGS.DAT", "settings");
  const uint32_t crc = CBHelper::StringCRC("settings", 8);
  card.Put("WD\\CRCFile.txt", BuildCRCList({{"WD\\SETTINGS.DAT", crc}}));
  CommandResult result = Verify();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Has(card.LogLines(), "  and it is."));

  card.Put("WD\\SETTINGS.DAT", "settings, changed");
  result = Verify();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("\nE:\\WD\\SETTINGS.DAT\n"), std::string::npos) << result.err;
}

TEST_F(VerifyCommandTest, AModifiedOSImageFailsWithTheWinCEMessage) {
  const PackageSpec spec = PanelPackage();
  card.LayPanelCard(spec, 3950, "windows ce image");
  card.Put("NK.NBG", "windows ce image, patched");
  CommandResult result = Verify(card.WritePackage(spec));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "WinCE OS file on flash failed CRC test.\nAttempting to restore previous files\n\n");
  EXPECT_NE(card.Diagnostics().find("WinCE OS file on flash failed CRC test."), std::string::npos);
}

TEST_F(VerifyCommandTest, ACRCListOfCountZeroIsAMismatch) {
  const PackageSpec spec = PanelPackage();
  card.LayPanelCard(spec, 3940, "windows ce image");
  std::string list = card.Get("Quorvane File CRCs.dat");
  list.replace(0, 4, std::string(4, '\0'));
  card.Put("Quorvane File CRCs.dat", list);
  CommandResult result = Verify(card.WritePackage(spec));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "CRC File verification failed.\nPossible 3940/3950 mismatch.\n");
}

TEST_F(VerifyCommandTest, ACardOfUnknownTypeIsRefused) {
  card.Put("DATA\\NOTES.TXT", "not a programmed card");
  CommandResult result = Verify(card.WritePackage(EnginePackage()));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "Compact Flash type could not be determined.\nVerify correct drive and try again.\n\n");
  EXPECT_TRUE(Has(card.LogLines(), "  target type: 0"));
}

TEST_F(VerifyCommandTest, OnlyAFAT16CardOfAtMost2GiBIsChecked) {
  const PackageSpec spec = EnginePackage();
  card.LayEngineCard(spec);
  const std::string package = card.WritePackage(spec);

  card.shape.fileSystem = "FAT32";
  CommandResult result = Verify(package);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "The compact flash has an incompatible FAT type.\n"
            "Please use Windows to reformat the compact flash to FAT16\n");
  EXPECT_TRUE(Has(card.LogLines(), "  bad FAT type."));

  card.shape.fileSystem = "FAT16";
  card.shape.totalBytes = 2147483649ull;
  result = Verify(package);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "The compact flash size exceeds the engine file system's capability.\n"
            "Download terminated.\n");

  card.shape.totalBytes = 2147483648ull;
  result = Verify(package);
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST_F(VerifyCommandTest, AFixedDriveIsRefused) {
  card.LayEngineCard(EnginePackage());
  card.shape.removable = false;
  CommandResult result = Verify();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Invalid drive type selected.\nPlease select a compact flash drive.\n");
  EXPECT_FALSE(Has(card.LogLines(), "BasicFlashCheck"));
}

TEST_F(VerifyCommandTest, ThePackageMustPassItsOwnChecksum) {
  const PackageSpec spec = EnginePackage();
  card.LayEngineCard(spec);
  std::string bytes = BuildPackage(spec);
  bytes[bytes.size() - 1] ^= 1;
  CommandResult result = Verify(card.WritePackageBytes(bytes));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "FWP file failed CRC test!\n\n");
}

TEST_F(VerifyCommandTest, TheCardMayBeNamedByItsFolder) {
  card.LayEngineCard(EnginePackage());
  CommandResult result = card.Run({"verify", "--card", card.CardDir() + "/"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Has(card.LogLines(), "  CFpath is E:"));
}

TEST_F(VerifyCommandTest, TheDiagnosticsFileAndLogLieInTheDataFolder) {
  card.LayEngineCard(EnginePackage());
  EXPECT_EQ(Verify().exitCode, 0);
  const std::vector<std::string> log = card.LogLines();
  ASSERT_GE(log.size(), 7u);
  EXPECT_EQ(log[1], std::string(51, '-'));
  // The data folder as this host writes it: the documents folder in its own case.
  EXPECT_EQ(log[6], "Datapath: " + card.DataDir());
  EXPECT_EQ(card.Run({"backups"}).out, "There are no backups in " + card.DataDir() + ".\n");
  EXPECT_NE(card.Diagnostics().find("****** Upgrade Info Start ******\r\n"), std::string::npos);

  // A second run appends to the same log; each run's transcript replaces the file.
  EXPECT_EQ(Verify().exitCode, 0);
  const std::vector<std::string> both = card.LogLines();
  EXPECT_EQ(std::count(both.begin(), both.end(), "VerifyOnly"), 2);
}

TEST_F(VerifyCommandTest, WrongUsageIsRefused) {
  CommandResult result = card.Run({"verify"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("--card"), std::string::npos);
  result = card.Run({"verify", "--card", ""});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Please choose a valid drive.\n");
}

}  // namespace
}  // namespace cw::test
