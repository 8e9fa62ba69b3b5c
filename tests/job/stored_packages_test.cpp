#include "job/stored_packages.h"

#include <gtest/gtest.h>

#include <cstring>

#include "record/job_state.h"
#include "package/extraction.h"
#include "package/file_table.h"
#include "job/load_info_array.h"
#include "package/package_parser.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "package/package_check.h"
#include "package/stored_package_record.h"

namespace cw {
namespace {

using test::JobScope;
using test::kPackagePath;
using test::LittleEndian;
using test::MakeFile;

constexpr const char* kDataFolder = "C:\\DATA";
constexpr const char* kUpgrade = "E:\\UPGRADE.FWP";
constexpr const char* k3950 = "E:\\FWP_3950.FWP";

// One file of each kind, each with content of its own.
PackageSpec EveryKind() {
  PackageSpec spec;
  spec.panel3950Support = true;
  spec.headerWords = {3, 1, 4, 1, 5, -9};
  spec.releaseNumber = 4711;
  for (int32_t kind : {2, 3, 7, 9, 10, 11, 12, 13, 14, 15}) {
    spec.files.push_back(MakeFile(kind, "DIR\\K" + std::to_string(kind) + ".BIN",
                                  std::string(kind * 37, static_cast<char>('a' + kind))));
  }
  spec.files.push_back(MakeFile(5, "LIB\\ZLIBCE.DLL", "zlib for the engine"));
  return spec;
}

std::vector<int32_t> KindsOf(const std::vector<FILE_INFO_STRUCT>& table) {
  std::vector<int32_t> kinds;
  for (const FILE_INFO_STRUCT& record : table) kinds.push_back(record.kind);
  return kinds;
}

int32_t Int32At(const std::string& bytes, size_t at) {
  int32_t value;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

// The rewritten header text of a copy: from offset 32 to the end of its count line.
std::string HeaderTextOf(const std::string& copy) {
  const std::string countLine = "NUMBER OF FILES: \r\n";
  const size_t at = copy.find(countLine);
  return at == std::string::npos ? "" : copy.substr(32, at + countLine.size() - 32);
}

class WriteStoredPackagesTest : public ::testing::Test {
 protected:
  WriteStoredPackagesTest() {
    scope.request.dataPath = kDataFolder;
    scope.fake.AddFolder(kDataFolder);
    scope.state.targetType = kTargetEngine;
    scope.state.filesStored = 7;  // files the extraction placed before the copies
  }
  // The package on the fake disk and its table loaded for an Engine card, as the store job has it.
  void Load(const PackageSpec& spec) {
    package = scope.PutPackage(spec);
    ASSERT_TRUE(scope.LoadToStore(loaded));
    original = loaded.fileTable;
  }
  // A copy loaded the way the store job loads a package: every record, CRC checked.
  std::vector<FILE_INFO_STRUCT> ReadBack(const std::string& copy) {
    scope.state.globalFWPDataFilePath = copy;
    scope.state.targetType = kTargetEngine;
    EXPECT_TRUE(scope.LoadToStore(loaded)) << copy;
    return loaded.fileTable;
  }
  // The records of `kinds` from the package, in order, each compared with the copy's record
  // apart from dataOffset.
  void ExpectSameRecords(const std::vector<FILE_INFO_STRUCT>& copy) {
    size_t next = 0;
    for (const FILE_INFO_STRUCT& record : copy) {
      while (next < original.size() && original[next].kind != record.kind) ++next;
      ASSERT_LT(next, original.size());
      FILE_INFO_STRUCT expected = original[next++];
      expected.dataOffset = record.dataOffset;
      EXPECT_TRUE(test::SameRecord(expected, record)) << FieldText(record.cardPath);
    }
  }
  void ExpectTempFilesGone() {
    for (const char* name : {"\\TempHeader.txt", "\\TempFWP3940.dat", "\\TempFWP3950.dat"}) {
      EXPECT_FALSE(scope.fake.Exists(std::string(kDataFolder) + name)) << name;
    }
  }
  // Refused with exactly these boxes (since seenCalls); nothing written to the transcript.
  void ExpectMessages(const std::vector<std::pair<std::string, MessageIcon>>& boxes) {
    auto calls = scope.prompt.calls();
    calls.erase(calls.begin(), calls.begin() + static_cast<ptrdiff_t>(seenCalls));
    ASSERT_EQ(calls.size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(calls[i].text, boxes[i].first);
      EXPECT_EQ(calls[i].icon, boxes[i].second) << boxes[i].first;
      EXPECT_EQ(calls[i].buttons, MessageButtons::Ok);
    }
    EXPECT_EQ(scope.job.diagnosticsText.Get(), "");
    ExpectTempFilesGone();
  }

  JobScope scope;
  LoadedPackage loaded;
  std::string package;
  std::vector<FILE_INFO_STRUCT> original;
  size_t seenCalls = 0;
};

// A verification against a package knows its copies, and an intact copy of another release.
TEST_F(WriteStoredPackagesTest, EachCopyIsKnownAsMadeFromItsPackageAndNoOther) {
  const auto bytes = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
  PackageSpec older = EveryKind();
  older.files[0].content = "the older release's engine file";
  Load(older);
  const std::vector<FILE_INFO_STRUCT> olderTable = original;
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  const Bytes older3940 = bytes(scope.fake.ReadFile(kUpgrade));
  Load(EveryKind());
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  const Bytes copy3940 = bytes(scope.fake.ReadFile(kUpgrade));
  const Bytes copy3950 = bytes(scope.fake.ReadFile(k3950));

  EXPECT_TRUE(StoredCopyMadeFrom(copy3940, original, StoredCopy::kHalf3940));
  EXPECT_TRUE(StoredCopyMadeFrom(copy3950, original, StoredCopy::kHalf3950));
  EXPECT_FALSE(StoredCopyMadeFrom(copy3940, original, StoredCopy::kHalf3950));
  EXPECT_FALSE(StoredCopyMadeFrom(older3940, original, StoredCopy::kHalf3940));
  EXPECT_TRUE(StoredCopyMadeFrom(older3940, olderTable, StoredCopy::kHalf3940));
  // A package stored whole is its own copy.
  EXPECT_TRUE(StoredCopyMadeFrom(bytes(package), original, StoredCopy::kWhole));
  EXPECT_FALSE(StoredCopyMadeFrom(bytes(package), original, StoredCopy::kHalf3940));
  EXPECT_FALSE(StoredCopyMadeFrom(Bytes(40, 0), original, StoredCopy::kWhole));
}

TEST_F(WriteStoredPackagesTest, SplitsTheRecordsByKindIntoTwoCheckedCopies) {
  Load(EveryKind());
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  EXPECT_EQ(scope.state.filesStored, 9);
  EXPECT_EQ(scope.job.statusText.Get(), "9 Files stored");
  EXPECT_EQ(scope.prompt.Count(), 0u);
  EXPECT_EQ(scope.job.diagnosticsText.Get(), "");
  ExpectTempFilesGone();

  // Kind 14 is in neither copy; kind 15, the engine's and the other kinds are in both.
  EXPECT_EQ(KindsOf(loaded.split3940Table),
            (std::vector<int32_t>{2, 3, 7, 10, 11, 13, 15, 5}));
  EXPECT_EQ(KindsOf(loaded.split3950Table),
            (std::vector<int32_t>{2, 7, 9, 10, 12, 13, 15, 5}));
  const std::vector<FILE_INFO_STRUCT> split3940 = loaded.split3940Table,
                                      split3950 = loaded.split3950Table;

  for (const char* copy : {kUpgrade, k3950}) {
    std::unique_ptr<File> file = scope.fake.OpenFile(copy, OpenMode::Read);
    ASSERT_TRUE(file);
    EXPECT_TRUE(VerifyFWPFile(scope.state, *file)) << copy;
    EXPECT_NE(Int32At(scope.fake.ReadFile(copy), 0), 0) << copy;
  }
  const auto upgrade = ReadBack(kUpgrade);
  ASSERT_EQ(upgrade.size(), split3940.size());
  ExpectSameRecords(upgrade);
  // The split tables hold the copies' final records.
  for (size_t i = 0; i < upgrade.size(); ++i) EXPECT_TRUE(test::SameRecord(upgrade[i], split3940[i]));
  const auto copy3950 = ReadBack(k3950);
  ASSERT_EQ(copy3950.size(), split3950.size());
  ExpectSameRecords(copy3950);
  for (size_t i = 0; i < copy3950.size(); ++i) EXPECT_TRUE(test::SameRecord(copy3950[i], split3950[i]));
  // The prefix words and the release number are the package's.
  EXPECT_EQ(scope.fake.ReadFile(kUpgrade).substr(4, 28), package.substr(4, 28));
  EXPECT_EQ(scope.fake.ReadFile(k3950).substr(4, 28), package.substr(4, 28));
}

TEST_F(WriteStoredPackagesTest, FilesExtractedFromTheCopiesEqualThePackagesFiles) {
  const PackageSpec spec = EveryKind();
  Load(spec);
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));

  struct Case {
    const char* copy;
    int32_t target;
    char drive;
    std::vector<int32_t> kinds;  // the files that land on that card
  };
  for (const Case& c : {Case{kUpgrade, kTargetEngine, 'F', {2, 7, 10, 13, 15}},
                        Case{kUpgrade, kTargetPanel3940, 'G', {3, 11, 15}},
                        Case{k3950, kTargetPanel3950, 'H', {9, 12, 15}}}) {
    scope.fake.AddDrive(c.drive, DriveType::Removable, "FAT16", 64ull << 20);
    ReadBack(c.copy);
    scope.state.targetType = c.target;
    scope.state.globalFlashPath = std::string(1, c.drive) + ":";
    scope.state.filesStored = 0;
    ASSERT_TRUE(Decompress(scope.state, loaded)) << c.copy;
    EXPECT_EQ(scope.state.filesStored,
              static_cast<int32_t>(c.kinds.size()) + (c.target == kTargetEngine ? 1 : 0));
    for (const PackageFileSpec& file : spec.files) {
      const bool expected =
          std::find(c.kinds.begin(), c.kinds.end(), file.kind) != c.kinds.end();
      const std::string path = scope.state.globalFlashPath + "\\" + file.cardPath;
      EXPECT_EQ(scope.fake.Exists(path), expected) << path;
      if (expected) {
        EXPECT_EQ(scope.fake.ReadFile(path), file.content) << path;
      }
    }
    if (c.target == kTargetEngine) {
      EXPECT_EQ(scope.fake.ReadFile(scope.state.globalFlashPath + "\\ZLIBCE.DLL"),
                "zlib for the engine");
    }
  }
}

TEST_F(WriteStoredPackagesTest, CopyLayoutPutsTheFirstBlockBehindHeaderAndTable) {
  Load(EveryKind());
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  for (const char* path : {kUpgrade, k3950}) {
    const std::string copy = scope.fake.ReadFile(path);
    const std::string header = HeaderTextOf(copy);
    ASSERT_FALSE(header.empty());
    const size_t h = header.size();
    const int32_t n = Int32At(copy, 32 + h);
    ASSERT_EQ(n, 8);
    EXPECT_EQ(copy.substr(36 + h, 4), "\r\n\r\n");
    EXPECT_EQ(copy.substr(40 + h + 620 * n, 4), "\r\n\r\n");
    FILE_INFO_STRUCT first;
    std::memcpy(&first, copy.data() + 40 + h, sizeof first);
    EXPECT_EQ(size_t(first.dataOffset), 44 + h + 620 * size_t(n));
    EXPECT_EQ(copy.substr(first.dataOffset, 10), "DIR\\K2.BIN");
    // Each block ends with CR LF CR LF, the last one at the end of the copy.
    EXPECT_EQ(copy.substr(copy.size() - 4), "\r\n\r\n");
    // The CRC is the copy's own, taken with its field zero.
    std::string zeroed = copy;
    EXPECT_EQ(uint32_t(Int32At(copy, 0)),
              PackageCrcOf(reinterpret_cast<uint8_t*>(zeroed.data()), zeroed.size()));
  }
}

TEST_F(WriteStoredPackagesTest, HeaderKeepsVersionValuesAndTurnsOtherValuesIntoLines) {
  PackageSpec spec;
  // Only a line that equals the count keyword ends the header.
  spec.title = "TITLE\r\nnumber of files: 3";
  spec.formatVersion = spec.formatRevision = spec.generatorVersion = spec.generatorRevision = {};
  spec.formatLetter = spec.generatorLetter = spec.panelLetter = {};
  spec.engineRevision = spec.panelVersion = {};
  // A value may hold line ends; it is taken over as 4 bytes all the same.
  spec.engineVersion = 0x0A0D0A0D;
  spec.engineLetter = 'Q';
  spec.panelRevision = 0x01020304;
  // Its bytes become the text of the next line, cut at the first zero byte.
  spec.winceIncluded = 0x00434241;
  spec.panel3950Support = true;
  spec.files = {MakeFile(kKindEngine2, "A.BIN", "a")};
  Load(spec);
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  const std::string expected = "TITLE\r\n"
                               "number of files: 3\r\n"
                               "Engine App Software Version: \r\n" + LittleEndian(0x0A0D0A0D) +
                               "\r\n"
                               "\r\n"  // the CR LF after the value in the package
                               "Engine App Software Letter: \r\n"
                               "Q\r\n"
                               "Panel Software Revision: \r\n" + LittleEndian(0x01020304) +
                               "\r\n"
                               "\r\n"
                               "WINCE INCLUDED: \r\n"
                               "ABC\r\n"
                               "3950 PANEL SUPPORT\r\n"
                               "NUMBER OF FILES: \r\n";
  for (const char* path : {kUpgrade, k3950}) {
    EXPECT_EQ(HeaderTextOf(scope.fake.ReadFile(path)), expected) << path;
  }
  // The copy still loads; its "WINCE INCLUDED: " value is now the bytes "ABC\r".
  EXPECT_EQ(ReadBack(kUpgrade).size(), 1u);
  EXPECT_EQ(loaded.osInPackage, 0x0D434241);
}

TEST_F(WriteStoredPackagesTest, EmptyTableStillWritesBothCopies) {
  PackageSpec spec;
  spec.panel3950Support = true;
  Load(spec);
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  EXPECT_EQ(scope.state.filesStored, 9);
  for (const char* path : {kUpgrade, k3950}) {
    const std::string copy = scope.fake.ReadFile(path);
    const size_t h = HeaderTextOf(copy).size();
    ASSERT_GT(h, 0u);
    EXPECT_EQ(Int32At(copy, 32 + h), 0);
    EXPECT_EQ(copy.size(), 44 + h);
    EXPECT_TRUE(ReadBack(path).empty());
  }
  ExpectTempFilesGone();
}

TEST(WriteStoredPackagesHeaderTest, CountLineMustComeWithinFiveHundredLines) {
  // The default header has 29 lines up to its count line; the title adds `extra` more.
  for (int extra : {471, 472}) {
    PackageSpec spec = EveryKind();
    for (int i = 0; i < extra; ++i) spec.title += "\r\nFILLER";
    JobScope fresh;
    fresh.request.dataPath = kDataFolder;
    fresh.fake.AddFolder(kDataFolder);
    fresh.state.targetType = kTargetEngine;
    fresh.PutPackage(spec);
    LoadedPackage loaded;
    ASSERT_TRUE(fresh.LoadToStore(loaded));
    const bool written = WriteStoredPackages(fresh.state, loaded, fresh.request.dataPath);
    EXPECT_EQ(written, extra == 471) << extra;
    if (!written) {
      EXPECT_EQ(fresh.prompt.messages(), std::vector<std::string>{"End of header not found!"});
      EXPECT_FALSE(fresh.fake.Exists(kUpgrade));
      EXPECT_EQ(fresh.state.filesStored, 0);
    }
    for (const char* name : {"\\TempHeader.txt", "\\TempFWP3940.dat", "\\TempFWP3950.dat"}) {
      EXPECT_FALSE(fresh.fake.Exists(std::string(kDataFolder) + name)) << name;
    }
  }
}

TEST_F(WriteStoredPackagesTest, UnopenablePackageIsReported) {
  Load(EveryKind());
  loaded.packageData.clear();  // a table without the load's bytes: the file is read now
  scope.fake.FailCall("OpenFile", kErrSharingViolation, 1, kPackagePath);
  EXPECT_FALSE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  ExpectMessages({{"Could not open Master file!", MessageIcon::Exclamation}});
  EXPECT_EQ(scope.state.filesStored, 7);
}

TEST_F(WriteStoredPackagesTest, TemporaryFilesThatCannotBeCreatedAreReported) {
  const std::string folder = kDataFolder;
  for (const auto& [name, message] :
       std::vector<std::pair<std::string, std::string>>{
           {"\\TempFWP3940.dat", "Could not open split FWP file!"},
           {"\\TempFWP3950.dat", "Could not open split FWP file!"},
           {"\\TempHeader.txt", "Could not open Temp Header file!"}}) {
    SCOPED_TRACE(name);
    seenCalls = scope.prompt.calls().size();
    Load(EveryKind());
    scope.fake.FailCall("OpenFile", kErrAccessDenied, 1, folder + name);
    EXPECT_FALSE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
    ExpectMessages({{message, MessageIcon::Exclamation}});
    EXPECT_FALSE(scope.fake.Exists(kUpgrade));
  }
}

TEST_F(WriteStoredPackagesTest, TemporaryFilesThatCannotBeWrittenAreReported) {
  const std::string folder = kDataFolder;
  for (const auto& [name, message] :
       std::vector<std::pair<std::string, std::string>>{
           {"\\TempFWP3950.dat", "Could not open split FWP file!"},
           {"\\TempHeader.txt", "Could not open Temp Header file!"}}) {
    SCOPED_TRACE(name);
    seenCalls = scope.prompt.calls().size();
    Load(EveryKind());
    scope.fake.FailCall("Write", kErrDiskFull, 1, folder + name);
    EXPECT_FALSE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
    ExpectMessages({{message, MessageIcon::Exclamation}});
    EXPECT_FALSE(scope.fake.Exists(kUpgrade));
  }
}

TEST_F(WriteStoredPackagesTest, NameStampNotAtItsOffsetIsReported) {
  for (int32_t offset : {1, 1 << 30}) {
    SCOPED_TRACE(offset);
    seenCalls = scope.prompt.calls().size();
    Load(EveryKind());
    loaded.fileTable[3].dataOffset += offset;
    EXPECT_FALSE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
    ExpectMessages({{"Data location not found for\r\nDIR\\K9.BIN", MessageIcon::None}});
    EXPECT_FALSE(scope.fake.Exists(kUpgrade));
    EXPECT_EQ(scope.state.filesStored, 7);
  }
}

TEST_F(WriteStoredPackagesTest, CopyThatCannotBeCreatedIsReported) {
  Load(EveryKind());
  scope.fake.FailCall("OpenFile", kErrWriteProtect, 1, k3950);
  EXPECT_FALSE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  ExpectMessages({{"Could not open FWP file\r\nFWP_3950.FWP", MessageIcon::Exclamation},
                  {"Failed to create FWP\r\nE:\\FWP_3950.FWP", MessageIcon::None}});
  // The first copy was complete.
  EXPECT_EQ(scope.state.filesStored, 9);
  EXPECT_EQ(ReadBack(kUpgrade).size(), 8u);
}

// Copies of an earlier store left read-only, hidden or system are replaced: Windows refuses a
// create-always open over hidden or system files, so their attributes are cleared first.
TEST_F(WriteStoredPackagesTest, ProtectedCopiesOfAnEarlierStoreAreReplaced) {
  Load(EveryKind());
  scope.fake.WriteFile(kUpgrade, "old copy", kAttrReadOnly | kAttrHidden | kAttrArchive);
  scope.fake.WriteFile(k3950, "old copy", kAttrSystem);
  ASSERT_TRUE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  EXPECT_EQ(scope.prompt.Count(), 0u);
  for (const char* copy : {kUpgrade, k3950}) EXPECT_EQ(scope.fake.Attributes(copy), kAttrArchive);
  EXPECT_EQ(ReadBack(kUpgrade).size(), 8u);
  EXPECT_EQ(ReadBack(k3950).size(), 8u);
}

TEST_F(WriteStoredPackagesTest, CopyThatCannotBeCompletedIsReported) {
  Load(EveryKind());
  scope.fake.FailCall("Write", kErrDiskFull, 2, kUpgrade);
  EXPECT_FALSE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath));
  ExpectMessages({{"Failed to create FWP\r\nE:\\UPGRADE.FWP", MessageIcon::None}});
  EXPECT_EQ(scope.state.filesStored, 8);
  EXPECT_FALSE(scope.fake.Exists(k3950));
}

// A copy whose CRC cannot be read back is a failed store: stamped 0 ("not checked") it would
// pass every later check of the card unseen.
TEST_F(WriteStoredPackagesTest, CopyWhoseCrcCannotBeReadBackIsAFailure) {
  for (const char* copy : {kUpgrade, k3950}) {
    Load(EveryKind());
    seenCalls = scope.prompt.calls().size();
    scope.fake.FailCall("Read", kErrIoDevice, 1, copy);
    EXPECT_FALSE(WriteStoredPackages(scope.state, loaded, scope.request.dataPath)) << copy;
    ExpectMessages({{std::string("Failed to read the file.\n\n") + copy, MessageIcon::None},
                    {std::string("Failed to create FWP\r\n") + copy, MessageIcon::None}});
    scope.fake.DeleteFile(kUpgrade);
    scope.fake.DeleteFile(k3950);
  }
}

}  // namespace
}  // namespace cw
