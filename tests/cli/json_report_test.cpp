// End to end: the --json reports of drives, inspect, verify and store, parsed and checked
// against real runs of cardwright on folder cards, and --version.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

#include "record/job_io.h"
#include "package/file_table.h"
#include "support/card_fixture.h"
#include "support/package_builder.h"
#include "rules/bhelper.h"

namespace cw::test {
namespace {

using nlohmann::json;

std::string Hex(const std::string& content) {
  CBHelper helper;
  return Format("%08X", CBHelper::StringCRC(content, static_cast<uint32_t>(content.size())));
}

// The whole of standard output must be one JSON document; its common keys are checked here.
json Report(const CommandResult& result, const std::string& command, const std::string& outcome,
            int exitStatus) {
  EXPECT_EQ(result.exitCode, exitStatus) << result.out << result.err;
  json report = json::parse(result.out, nullptr, /*allow_exceptions=*/false);
  EXPECT_FALSE(report.is_discarded()) << "not one JSON document:\n" << result.out;
  if (report.is_discarded()) return json::object();
  EXPECT_EQ(report.value("command", ""), command);
  EXPECT_EQ(report.value("version", ""), CARDWRIGHT_VERSION);
  EXPECT_EQ(report.value("outcome", ""), outcome) << result.out << result.err;
  EXPECT_EQ(report.value("exit_status", -1), exitStatus);
  EXPECT_TRUE(report["messages"].is_array());
  return report;
}

std::map<std::string, std::string> Phases(const json& report) {
  std::map<std::string, std::string> phases;
  for (const json& phase : report["phases"]) phases[phase["name"]] = phase["result"];
  EXPECT_EQ(phases.size(), 6u);
  return phases;
}

// The file checks of one verification, by card path.
std::map<std::string, json> Files(const json& report, const std::string& verification) {
  std::map<std::string, json> files;
  for (const json& file : report["files"])
    if (file["verification"] == verification) files[file["path"]] = file;
  return files;
}

bool MessagesMention(const json& report, const std::string& text) {
  for (const json& message : report["messages"])
    if (message.get<std::string>().find(text) != std::string::npos) return true;
  return false;
}

TEST(JsonReportTest, VersionAndDrives) {
  CommandResult version = RunCardwright({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("cardwright ") + CARDWRIGHT_VERSION + "\n");

  CardFixture card;
  json report = Report(card.Run({"drives", "--json"}), "drives", "passed", 0);
  std::map<std::string, json> drives;
  for (const json& drive : report["drives"]) drives[drive["drive"]] = drive;
  ASSERT_TRUE(drives.count("E:")) << report.dump();
  EXPECT_EQ(drives["E:"]["host_path"], card.CardDir());
  EXPECT_EQ(drives["E:"]["type"], "removable");
  EXPECT_EQ(drives["E:"]["file_system"], "FAT16");
  EXPECT_EQ(drives["E:"]["bytes"], 64ull << 20);
  EXPECT_EQ(drives["C:"]["host_path"], "/");
  EXPECT_EQ(drives["C:"]["type"], "fixed");

  // A refused mapping is still a document, with the message.
  const CommandResult bad = RunCardwright({"--drive", "E:=/no/such/folder", "drives", "--json"},
                                          {{"CARDWRIGHT_DRIVES", ""}});
  report = Report(bad, "drives", "usage", 2);
  EXPECT_TRUE(MessagesMention(report, "/no/such/folder")) << bad.out;
}

TEST(JsonReportTest, Inspect) {
  CardFixture card;
  const PackageSpec spec = test::FullEngineRelease("main program");
  const std::string package = card.WritePackage(spec);
  json report = Report(card.Run({"inspect", package, "--json"}), "inspect", "passed", 0);
  EXPECT_EQ(report["package"], package);
  EXPECT_EQ(report["versions"]["found"], true);
  EXPECT_EQ(report["versions"]["engine"], "Engine Software Version: 2.015B");
  EXPECT_EQ(report["versions"]["format"]["revision"], 9);
  EXPECT_EQ(report["versions"]["format"]["letter"], "A");
  EXPECT_EQ(report["header"]["release_number"], 42);
  EXPECT_EQ(report["header"]["file_count"], 6);
  EXPECT_EQ(report["header"]["package_crc_ok"], true);
  EXPECT_EQ(report["header"]["package_crc"], report["header"]["computed_crc"]);
  ASSERT_EQ(report["files"].size(), spec.files.size());
  for (size_t i = 0; i < spec.files.size(); ++i) {
    const json& file = report["files"][i];
    EXPECT_EQ(file["index"], i);
    EXPECT_EQ(file["kind"], spec.files[i].kind);
    EXPECT_EQ(file["card_path"], spec.files[i].cardPath);
    EXPECT_EQ(file["file_size"], spec.files[i].content.size());
    EXPECT_EQ(file["crc"], Hex(spec.files[i].content));
    EXPECT_TRUE(file["problem"].is_null());
  }

  // A damaged package: inspected, and failed on its CRC.
  std::string bytes = BuildPackage(spec);
  bytes[bytes.size() - 2] ^= 0x40;
  report = Report(card.Run({"inspect", card.WritePackageBytes(bytes, "BAD.FWP"), "--json"}),
                  "inspect", "failed", 1);
  EXPECT_EQ(report["header"]["package_crc_ok"], false);
  EXPECT_NE(report["header"]["package_crc"], report["header"]["computed_crc"]);
  EXPECT_TRUE(MessagesMention(report, "FWP file failed CRC test!"));

  // A package that cannot be opened is refused.
  report = Report(card.Run({"inspect", card.CardDir() + "/NONE.FWP", "--json"}), "inspect",
                  "refused", 1);
  EXPECT_TRUE(MessagesMention(report, "FWP file could not be opened!\n"));
  EXPECT_FALSE(report.contains("files"));
}

TEST(JsonReportTest, Verify) {
  CardFixture card;
  const PackageSpec spec = test::FullEngineRelease("main program");
  card.LayEngineCard(spec);
  const std::string package = card.WritePackage(spec);
  const std::vector<std::string> args = {"verify", "--card", "E:", "--package", package, "--json"};

  CommandResult result = card.Run(args);
  json report = Report(result, "verify", "passed", 0);
  EXPECT_NE(result.err.find("Done!"), std::string::npos) << "status lines go to stderr";
  // The card as the job took it: a folder card has no serial number of its own.
  EXPECT_EQ(report["card"], (json{{"letter", "E:"}, {"serial", nullptr}, {"label", ""},
                                  {"bytes", 64ull << 20}}));
  EXPECT_EQ(report["package"], package);
  EXPECT_TRUE(report["stop"].is_null());
  std::map<std::string, std::string> phases = Phases(report);
  EXPECT_EQ(phases["verify_only"], "done");
  EXPECT_EQ(phases["verify"], "done");
  EXPECT_EQ(phases["store"], "not_run");
  std::map<std::string, json> files = Files(report, "verify");
  // The engine's and the common files (the stored-as-is one in the root), and the stored copy.
  ASSERT_EQ(files.size(), 5u) << report.dump(1);
  EXPECT_EQ(files["E:\\APP\\MAIN.BIN"]["expected_crc"], Hex("main program"));
  EXPECT_EQ(files["E:\\README.TXT"]["actual_crc"], Hex("read me"));
  EXPECT_EQ(files["E:\\UPGRADE.FWP"]["check"], "package");
  for (const auto& [path, file] : files) {
    EXPECT_EQ(file["matched"], true) << path;
    EXPECT_EQ(file["expected_crc"], file["actual_crc"]) << path;
  }

  // A changed file and a missing one: failed, both named, with what the card holds.
  card.Put("APP\\TABLES.DAT", "tablez");
  card.Remove("README.TXT");
  report = Report(card.Run(args), "verify", "failed", 1);
  EXPECT_EQ(Phases(report)["verify"], "failed");
  files = Files(report, "verify");
  EXPECT_EQ(files["E:\\APP\\TABLES.DAT"]["matched"], false);
  EXPECT_EQ(files["E:\\APP\\TABLES.DAT"]["expected_crc"], Hex("tables"));
  EXPECT_EQ(files["E:\\APP\\TABLES.DAT"]["actual_crc"], Hex("tablez"));
  EXPECT_EQ(files["E:\\README.TXT"]["matched"], false);
  EXPECT_TRUE(files["E:\\README.TXT"]["actual_crc"].is_null());
  EXPECT_EQ(files["E:\\APP\\MAIN.BIN"]["matched"], true);
  EXPECT_TRUE(MessagesMention(report, "E:\\APP\\TABLES.DAT"));

  // A fixed drive is refused before any file is read.
  card.shape.removable = false;
  report = Report(card.Run(args), "verify", "refused", 1);
  EXPECT_TRUE(MessagesMention(report, "Invalid drive type selected."));
  EXPECT_TRUE(report["files"].empty());
}

TEST(JsonReportTest, Store) {
  CardFixture card;
  card.LayEngineCard(test::FullEngineRelease("old main program"));
  card.Put("NOTES.TXT", "the technician's notes");
  const PackageSpec spec = test::FullEngineRelease("new main program");
  const std::string package = card.WritePackage(spec, "NEW.FWP");

  // Without --yes nobody answers OK: refused, the card unchanged.
  const std::map<std::string, std::string> before = card.Snapshot();
  json report = Report(card.Run({"store", "--card", "E:", "--package", package, "--json"}),
                       "store", "refused", 1);
  EXPECT_TRUE(MessagesMention(report, "All files will be replaced with new ones."));
  EXPECT_TRUE(report["files"].empty());
  EXPECT_EQ(card.Snapshot(), before);

  report = Report(card.Run({"store", "--card", "E:", "--package", package, "--yes", "--json"}),
                  "store", "passed", 0);
  EXPECT_EQ(report["package"], package);
  EXPECT_EQ(report["restore_only"], false);
  std::map<std::string, std::string> phases = Phases(report);
  for (const char* name : {"prep", "store", "verify"}) EXPECT_EQ(phases[name], "done") << name;
  EXPECT_EQ(phases["restore"], "not_run");
  std::map<std::string, json> files = Files(report, "verify");
  EXPECT_EQ(files["E:\\APP\\MAIN.BIN"]["actual_crc"], Hex("new main program"));
  EXPECT_EQ(files["E:\\UPGRADE.FWP"]["matched"], true);
  for (const auto& [path, file] : files) EXPECT_EQ(file["matched"], true) << path;

  // A package whose compressed data is damaged: the store fails, the backup comes back and
  // is verified; its checks are reported as the restore's.
  PackageLayout layout;
  std::string bytes = BuildPackage(test::FullEngineRelease(std::string(4000, 'm')), &layout);
  const FILE_INFO_STRUCT& first = layout.records[0];
  bytes[first.dataOffset + 12 + first.storedSize / 2] ^= 0x5A;
  bytes.replace(0, 4, std::string(4, '\0'));  // not checked, so the damage reaches extraction
  report = Report(card.Run({"store", "--card", "E:", "--package",
                            card.WritePackageBytes(bytes, "ZLIB.FWP"), "--yes", "--json"}),
                  "store", "failed", 1);
  phases = Phases(report);
  EXPECT_EQ(phases["store"], "failed");
  EXPECT_EQ(phases["restore"], "done");
  EXPECT_EQ(phases["restore_verify"], "done");
  files = Files(report, "restore_verify");
  EXPECT_EQ(files["E:\\APP\\MAIN.BIN"]["actual_crc"], Hex("new main program"));
  EXPECT_EQ(files["E:\\APP\\MAIN.BIN"]["matched"], true);
  EXPECT_TRUE(Files(report, "verify").empty());
}

}  // namespace
}  // namespace cw::test
