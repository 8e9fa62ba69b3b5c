// Damaged packages, lying CRC lists and unreadable card files, end to end through
// `cardwright inspect`, `verify` and `store`: each run ends with a clear message and a non-zero
// exit status, and the card is left exactly as it was.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "package/crc_list_writer.h"
#include "package/package_parser.h"
#include "package/package_writer.h"
#include "support/card_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::CardFixture;
using test::CommandResult;

PackageSpec GoodPackage() {
  return test::EngineRelease(std::string(3000, 'm') + "main program", "util");
}

// The package with its CRC field made to match again, so the damage reaches the parser.
std::string Recrc(std::string bytes) {
  if (bytes.size() < 4) return bytes;
  std::vector<uint8_t> raw(bytes.begin(), bytes.end());
  const uint32_t crc = PackageCrcOf(raw.data(), raw.size());
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  return bytes;
}

std::string Cut(const std::string& bytes, size_t size) { return bytes.substr(0, size); }

size_t After(const std::string& bytes, const std::string& text) {
  const size_t at = bytes.find(text);
  EXPECT_NE(at, std::string::npos) << text;
  return at + text.size();
}

// A package whose record `index` is changed by `change`, CRC fixed.
std::string WithRecord(const std::function<void(FILE_INFO_STRUCT&)>& change, int index = 0,
                       PackageSpec spec = GoodPackage()) {
  PackageLayout layout;
  std::string bytes = BuildPackage(spec, &layout);
  FILE_INFO_STRUCT record = layout.records[index];
  change(record);
  std::memcpy(bytes.data() + layout.tableOffset + index * sizeof record, &record, sizeof record);
  return Recrc(bytes);
}

std::string WithPath(const std::string& hostile) {
  PackageSpec spec = GoodPackage();
  spec.files[0].cardPath = hostile;
  return BuildPackage(spec);
}

// One damaged package and the words each command must refuse it with.
struct BadPackage {
  std::string name;
  std::string bytes;
  std::string message;  // in stderr of inspect, verify and store alike
};

std::vector<BadPackage> BadPackages() {
  const std::string good = BuildPackage(GoodPackage());
  PackageLayout layout;
  BuildPackage(GoodPackage(), &layout);
  const size_t table = layout.tableOffset;
  const size_t data = table + 2 * sizeof(FILE_INFO_STRUCT);
  const std::string kEndsInHeader = "ends inside its header";
  const std::string kEndsInTable = "ends inside its file table";
  const std::string kBadRecord = "bad size or data location";
  const std::string kOutside = "names a file outside the card";
  const std::string kFormat = "Invalid FWP File Format";
  const std::string kLocate = "Failed to locate compressed data";

  std::vector<BadPackage> bad = {
      {"empty file", "", "FWP"},
      {"cut inside the CRC field", Cut(good, 3), "FWP"},
      {"cut inside the prefix", Recrc(Cut(good, 20)), kEndsInHeader},
      {"cut at the end of the prefix", Recrc(Cut(good, 32)), kFormat},
      {"cut inside the version block", Recrc(Cut(good, After(good, "Format Version: \r\n") + 2)),
       kFormat},
      {"cut after the WINCE INCLUDED line", Recrc(Cut(good, After(good, "WINCE INCLUDED: \r\n"))),
       kEndsInHeader},
      {"cut inside the WINCE INCLUDED value",
       Recrc(Cut(good, After(good, "WINCE INCLUDED: \r\n") + 2)), kEndsInHeader},
      {"cut after the NUMBER OF FILES line",
       Recrc(Cut(good, After(good, "NUMBER OF FILES: \r\n"))), kEndsInHeader},
      {"cut inside the file count", Recrc(Cut(good, After(good, "NUMBER OF FILES: \r\n") + 3)),
       kEndsInHeader},
      {"cut inside the first record", Recrc(Cut(good, table + 100)), kEndsInTable},
      {"cut between the records", Recrc(Cut(good, table + sizeof(FILE_INFO_STRUCT))),
       kEndsInTable},
      {"cut at the end of the table", Recrc(Cut(good, data)), kBadRecord},
      {"cut inside the first file's data", Recrc(Cut(good, data + 20)), kBadRecord},
      {"cut inside the last file's data", Recrc(Cut(good, good.size() - 3)), kBadRecord},
      {"count of a thousand files", Recrc(BuildPackage([] {
         PackageSpec s = GoodPackage();
         s.fileCount = 1000;
         return s;
       }())),
       kEndsInTable},
      {"count one more than the records", Recrc(BuildPackage([] {
         PackageSpec s = GoodPackage();
         s.fileCount = 3;
         return s;
       }())),
       kEndsInTable},
      {"data offset past the end", WithRecord([](FILE_INFO_STRUCT& r) { r.dataOffset = 1 << 30; }),
       kBadRecord},
      {"negative data offset", WithRecord([](FILE_INFO_STRUCT& r) { r.dataOffset = -8; }),
       kBadRecord},
      {"stored size past the end", WithRecord([](FILE_INFO_STRUCT& r) { r.storedSize += 9999; }),
       kBadRecord},
      {"negative stored size", WithRecord([](FILE_INFO_STRUCT& r) { r.storedSize = -1; }),
       kBadRecord},
      {"negative file size", WithRecord([](FILE_INFO_STRUCT& r) { r.fileSize = -5; }),
       kBadRecord},
      {"parent folder path", WithPath("..\\..\\EVIL.TXT"), kOutside},
      {"drive letter path", WithPath("C:\\WINDOWS\\EVIL.DLL"), kOutside},
      {"network path", WithPath("\\\\SERVER\\SHARE\\EVIL"), kOutside},
      {"device name", WithPath("APP\\CON"), kOutside},
      {"dots and blanks", WithPath("APP\\. .\\..\\..\\EVIL"), kOutside},
      {"no WINCE INCLUDED line", BuildPackage([] {
         PackageSpec s = GoodPackage();
         s.winceIncluded.reset();
         return s;
       }()),
       kFormat},
      {"not a package", "This is a text file, not firmware.\r\n", "FWP"},
      {"text with a matching CRC", Recrc("This is a text file, not firmware.\r\n"), kFormat},
      {"wrong package CRC", [&good] {
         std::string b = good;
         b[b.size() - 2] ^= 0x55;
         return b;
       }(),
       "CRC"},
  };
  return bad;
}

// The card files that differ between two snapshots, by name.
std::string Changed(const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after) {
  std::string changed;
  for (const auto& [path, content] : before) {
    auto it = after.find(path);
    if (it == after.end()) changed += " -" + path;
    else if (it->second != content) changed += " ~" + path;
  }
  for (const auto& [path, content] : after)
    if (!before.count(path)) changed += " +" + path;
  return changed;
}

std::string Quote(const CommandResult& r) {
  return "exit " + std::to_string(r.exitCode) + "\nstdout: " + r.out + "\nstderr: " + r.err;
}

class BadInputTest : public ::testing::Test {
 protected:
  BadInputTest() { card.LayEngineCard(GoodPackage()); }

  // The command fails with a message containing `message`, and the card is as it was.
  void ExpectRefused(const std::vector<std::string>& args, const std::string& message,
                     const std::string& what) {
    const auto before = card.Snapshot();
    const CommandResult r = card.Run(args);
    ++runs_;
    EXPECT_NE(r.exitCode, 0) << what << "\n" << Quote(r);
    EXPECT_LT(r.exitCode, 128) << what << ": killed by a signal\n" << Quote(r);
    EXPECT_NE(r.err.find(message), std::string::npos)
        << what << ": no \"" << message << "\"\n" << Quote(r);
    EXPECT_EQ(Changed(before, card.Snapshot()), "") << what << ": the card changed";
  }

  CardFixture card;
  int runs_ = 0;
};

TEST_F(BadInputTest, DamagedPackagesAreRefusedByInspectVerifyAndStore) {
  const std::vector<BadPackage> bad = BadPackages();
  ASSERT_GE(bad.size(), 28u);
  for (const BadPackage& package : bad) {
    const std::string path = card.WritePackageBytes(package.bytes, "BAD.FWP");
    ExpectRefused({"inspect", path}, package.message, "inspect: " + package.name);
    ExpectRefused({"verify", "--card", "E:", "--package", path}, package.message,
                  "verify: " + package.name);
    ExpectRefused({"store", "--card", "E:", "--package", path, "--yes"}, package.message,
                  "store: " + package.name);
  }
  std::printf("[ figures  ] %zu damaged packages, %d runs\n", bad.size(), runs_);
}

// Damage that only extraction meets: the package's structure is sound, its data are not. The
// store backs the card up, fails on the first file and puts the backup back.
TEST_F(BadInputTest, DamagedFileDataFailsTheStoreAndTheCardIsPutBack) {
  PackageLayout layout;
  const std::string good = BuildPackage(GoodPackage(), &layout);
  const FILE_INFO_STRUCT first = layout.records[0];
  const std::string kInflate = "Reinflate Init Failed";
  struct Case {
    std::string name, bytes, message;
  };
  const std::vector<Case> cases = {
      {"damaged zlib data", [&] {
         std::string b = good;
         for (int i = 0; i < 6; ++i) b[first.dataOffset + 12 + 2 + i] ^= 0x5A;  // after the stamp
         return Recrc(b);
       }(),
       kInflate},
      {"file size larger than the stream gives",
       WithRecord([](FILE_INFO_STRUCT& r) { r.fileSize += 100; }), kInflate},
      {"file size smaller than the stream gives",
       WithRecord([](FILE_INFO_STRUCT& r) { r.fileSize -= 1; }), kInflate},
      {"stored size cutting the stream short",
       WithRecord([](FILE_INFO_STRUCT& r) { r.storedSize -= 6; }), kInflate},
      {"file size beyond any inflation", WithRecord([](FILE_INFO_STRUCT& r) {
         r.fileSize = 1 << 30;
       }),
       kInflate},
      {"name stamp not where the record says",
       WithRecord([](FILE_INFO_STRUCT& r) { r.dataOffset += 1; r.storedSize -= 1; }),
       "Failed to locate compressed data"},
  };
  for (const Case& c : cases) {
    const std::string path = card.WritePackageBytes(c.bytes, "BAD.FWP");
    ExpectRefused({"store", "--card", "E:", "--package", path, "--yes"}, c.message,
                  "store: " + c.name);
    EXPECT_NE(card.Diagnostics().find("Restore OK!!"), std::string::npos) << c.name;
  }
  std::printf("[ figures  ] %zu packages with damaged data, %d runs\n", cases.size(), runs_);
}

// A card checked against itself (verify without a package) whose reference lies or whose files
// cannot be read.
TEST_F(BadInputTest, CardsWhoseListsLieOrWhoseFilesCannotBeReadFailVerification) {
  struct Case {
    std::string name;
    int model;  // 0: the Engine card, else a panel of that model
    std::function<void(CardFixture&)> damage;
    std::string message;
  };
  const PackageSpec panel = [] {
    PackageSpec s;
    s.winceIncluded = 1;
    s.files.push_back({.kind = kKindPanel3940, .cardPath = "BREVANT\\APP.EXE", .content = "app"});
    s.files.push_back({.kind = kKindPanel3940, .cardPath = "BREVANT\\LIB.DLL", .content = "lib"});
    return s;
  }();
  const std::string list = CardFixture::PanelCRCList(panel, 3940, "os");
  const std::string kNotPassed = "did not pass the CRC test";
  const std::vector<Case> cases = {
      {"CRC list cut inside an entry", 3940,
       [&](CardFixture& c) { c.Put("Quorvane File CRCs.dat", list.substr(0, 30)); },
       "Stored CRC file is damaged"},
      {"CRC list naming a file outside the card", 3940,
       [](CardFixture& c) {
         c.Put("Quorvane File CRCs.dat", BuildCRCList({{"NK.BIN", 0}, {"..\\..\\ETC\\X", 1}}));
       },
       "Stored CRC file names a file outside the card"},
      {"CRC list with a wrong CRC", 3940,
       [&](CardFixture& c) {
         std::string lying = list;
         lying[lying.find("APP.EXE") + 9] ^= 1;
         c.Put("Quorvane File CRCs.dat", lying);
       },
       kNotPassed},
      {"CRC list missing", 3940, [](CardFixture& c) { c.Remove("Quorvane File CRCs.dat"); },
       "Stored CRC file could not be opened."},
      {"WD list cut inside an entry", 3940,
       [](CardFixture& c) { c.Put("WD\\CRCFile.txt", std::string("\2\0\0\0\r\n\r\nA", 9)); },
       "Stored CRC file is damaged"},
      {"panel file that cannot be read", 3940,
       [](CardFixture& c) {
         c.Remove("BREVANT\\APP.EXE");
         ASSERT_EQ(symlink("/nonexistent/app", (c.CardDir() + "/BREVANT/APP.EXE").c_str()), 0);
       },
       kNotPassed},
      {"panel file replaced by a folder", 3940,
       [](CardFixture& c) {
         c.Remove("BREVANT\\LIB.DLL");
         ASSERT_EQ(mkdir((c.CardDir() + "/BREVANT/LIB.DLL").c_str(), 0755), 0);
       },
       kNotPassed},
      {"stored copy damaged", 0,
       [](CardFixture& c) {
         std::string copy = c.Get("UPGRADE.FWP");
         copy[copy.size() / 2] ^= 0x20;
         c.Put("UPGRADE.FWP", copy);
       },
       "FWP file failed CRC test!"},
      {"stored copy cut short", 0,
       [](CardFixture& c) { c.Put("UPGRADE.FWP", Recrc(c.Get("UPGRADE.FWP").substr(0, 200))); },
       "FWP"},
      {"engine file that cannot be read", 0,
       [](CardFixture& c) {
         c.Remove("APP\\LIB\\UTIL.DLL");
         ASSERT_EQ(symlink("/nonexistent/util", (c.CardDir() + "/APP/LIB/UTIL.DLL").c_str()), 0);
       },
       kNotPassed},
      {"engine file changed", 0, [](CardFixture& c) { c.Put("APP\\LIB\\UTIL.DLL", "UTIL"); },
       kNotPassed},
  };
  for (const Case& c : cases) {
    CardFixture fresh;
    if (c.model == 0) {
      fresh.LayEngineCard(GoodPackage());
    } else {
      fresh.LayPanelCard(panel, c.model, "os");
    }
    c.damage(fresh);
    const auto before = fresh.Snapshot();
    const CommandResult r = fresh.Run({"verify", "--card", "E:"});
    ++runs_;
    EXPECT_EQ(r.exitCode, 1) << c.name << "\n" << Quote(r);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << "\n" << Quote(r);
    EXPECT_EQ(Changed(before, fresh.Snapshot()), "") << c.name << ": the card changed";
  }
  std::printf("[ figures  ] %zu damaged cards, %d runs\n", cases.size(), runs_);
}

TEST_F(BadInputTest, PackagesThatCannotBeOpenedAreRefused) {
  const std::string folder = card.WritePackageBytes("x", "FOLDER.FWP/inside");
  const std::string asFolder = folder.substr(0, folder.size() - std::string("/inside").size());
  const std::string missing = asFolder + ".missing";
  for (const std::string& path : {asFolder, missing}) {
    ExpectRefused({"inspect", path}, "FWP file could not be", "inspect " + path);
    ExpectRefused({"verify", "--card", "E:", "--package", path}, "FWP file", "verify " + path);
    ExpectRefused({"store", "--card", "E:", "--package", path, "--yes"}, "FWP file",
                  "store " + path);
  }
}

}  // namespace
}  // namespace cw
