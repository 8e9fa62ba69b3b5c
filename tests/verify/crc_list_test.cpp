#include "verify/crc_list.h"

#include <gtest/gtest.h>

#include "card/wd_crc_list.h"
#include "record/job_state.h"
#include "package/crc_list_writer.h"
#include "package/file_table.h"
#include "platform/platform.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::JobScope;
using test::LittleEndian;

constexpr const char* kList3940 = "E:\\Quorvane File CRCs.dat";
constexpr const char* kList3950 = "E:\\Quorvane File CRCs 3950.dat";

FILE_INFO_STRUCT Record(int32_t kind, const std::string& cardPath, uint32_t crc) {
  FILE_INFO_STRUCT record{};
  SetFieldText(record.cardPath, cardPath);
  record.kind = kind;
  record.fileCrc = crc;
  return record;
}

std::vector<std::string> CardPaths(const std::vector<FILE_INFO_STRUCT>& fileTable) {
  std::vector<std::string> paths;
  for (const FILE_INFO_STRUCT& record : fileTable)
    paths.push_back(FieldText(record.cardPath));
  return paths;
}

TEST(CRCListWriterTest, WritesCountEntriesAndEndMarker) {
  EXPECT_EQ(BuildCRCList({}), std::string("\0\0\0\0\r\n\r\n\xFF", 9));
  EXPECT_EQ(BuildCRCList({{"A.BIN", 0x01020304}, {"B", 5}}),
            LittleEndian(2) + "\r\n\r\nA.BIN\r\n" + LittleEndian(0x01020304) + "\r\n\r\nB\r\n" +
                LittleEndian(5) + "\r\n\r\n\xFF");
}

class LoadArrayFromCRCFileTest : public ::testing::Test {
 protected:
  JobScope scope;
  std::vector<FILE_INFO_STRUCT> fileTable;
};

TEST_F(LoadArrayFromCRCFileTest, AppendsOneRecordPerEntry) {
  scope.state.targetType = kTargetPanel3950;
  fileTable.push_back(Record(2, "KEPT.BIN", 1));
  scope.fake.WriteFile(kList3950, BuildCRCList({{"\\HARDDISK\\Brevant\\App.exe", 0xDEADBEEF},
                                                {"Fonts\\a.ttf", 0x12345678}}));
  ASSERT_TRUE(LoadArrayFromCRCFile(scope.state, kList3950, fileTable));
  ASSERT_EQ(fileTable.size(), 3u);
  EXPECT_EQ(CardPaths(fileTable),
            (std::vector<std::string>{"KEPT.BIN", "BREVANT\\APP.EXE", "FONTS\\A.TTF"}));
  const FILE_INFO_STRUCT& record = fileTable[1];
  EXPECT_EQ(record.kind, 9);
  EXPECT_EQ(record.fileCrc, 0xDEADBEEFu);
  EXPECT_EQ(record.dataOffset, 0);
  EXPECT_EQ(record.storedSize, 0);
  EXPECT_EQ(record.fileSize, 0);
  EXPECT_EQ(FieldText(record.checkPath), "");
  EXPECT_EQ(scope.LogLines(), std::vector<std::string>{"LoadArrayFromCRCFile"});
}

TEST_F(LoadArrayFromCRCFileTest, ACRCHoldingCrLfIsReadWhole) {
  scope.state.targetType = kTargetPanel3940;
  scope.fake.WriteFile(kList3940, BuildCRCList({{"A.BIN", 0x0A0D0A0D}, {"B.BIN", 0x0D0A0D0A},
                                                {"C.BIN", 0x00000D0A}}));
  ASSERT_TRUE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable));
  ASSERT_EQ(CardPaths(fileTable), (std::vector<std::string>{"A.BIN", "B.BIN", "C.BIN"}));
  EXPECT_EQ(fileTable[0].fileCrc, 0x0A0D0A0Du);
  EXPECT_EQ(fileTable[1].fileCrc, 0x0D0A0D0Au);
  EXPECT_EQ(fileTable[2].fileCrc, 0x00000D0Au);
  EXPECT_EQ(fileTable[0].kind, 3);
}

TEST_F(LoadArrayFromCRCFileTest, ExemptEntriesAreDroppedAndAnEmptyListYieldsNothing) {
  scope.state.targetType = kTargetPanel3940;
  scope.fake.WriteFile(kList3940,
                       BuildCRCList({{"\\HARDDISK\\PUBLIC\\A.TXT", 1}, {"KEYS\\X.MKY", 2},
                                     {"\\HARDDISK\\NK.BIN", 3}, {"Wince.reg", 4},
                                     {"FWP_INFO_FILE.TXT", 5}, {"KEEP.DAT", 6}}));
  ASSERT_TRUE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable));
  EXPECT_EQ(CardPaths(fileTable), std::vector<std::string>{"KEEP.DAT"});
  fileTable.clear();
  scope.fake.WriteFile(kList3940, BuildCRCList({}));
  ASSERT_TRUE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable));
  EXPECT_TRUE(fileTable.empty());
}

TEST_F(LoadArrayFromCRCFileTest, OtherTargetsGetKindZeroAndLongPathsAreCut) {
  scope.state.targetType = kTargetEngine;
  const std::string longPath = std::string(310, 'L');
  scope.fake.WriteFile("E:\\WD\\CRCFile.txt", BuildCRCList({{"W.DAT", 1}, {longPath, 2}}));
  ASSERT_TRUE(LoadArrayFromCRCFile(scope.state, "E:\\WD\\CRCFile.txt", fileTable));
  ASSERT_EQ(fileTable.size(), 2u);
  EXPECT_EQ(fileTable[0].kind, 0);
  EXPECT_EQ(FieldText(fileTable[1].cardPath), std::string(299, 'L'));
}

TEST_F(LoadArrayFromCRCFileTest, AMissingListIsShownAndRecorded) {
  EXPECT_FALSE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable));
  ASSERT_EQ(scope.prompt.messages(), std::vector<std::string>{"Stored CRC file could not be opened."});
  EXPECT_EQ(scope.prompt.calls()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(scope.job.diagnosticsText.Get(), "Stored CRC file could not be opened.");
}

TEST_F(LoadArrayFromCRCFileTest, AListEndingInsideACRCIsRefused) {
  scope.state.targetType = kTargetPanel3940;
  std::string list = BuildCRCList({{"A.BIN", 1}, {"B.BIN", 2}});
  list.resize(list.find("B.BIN\r\n") + 7 + 2);
  scope.fake.WriteFile(kList3940, list);
  EXPECT_FALSE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable));
  EXPECT_EQ(scope.prompt.messages(), std::vector<std::string>{kMsgCRCListDamaged});
  EXPECT_TRUE(fileTable.empty());
}

// Whatever a saved list carries after its end marker is not read; a list cut inside an entry
// stays damaged, with or without such a tail.
TEST_F(LoadArrayFromCRCFileTest, BytesAfterTheEndMarkerAreIgnored) {
  scope.state.targetType = kTargetPanel3940;
  const std::string list = BuildCRCList({{"A.BIN", 1}, {"B.BIN", 2}});
  for (const std::string tail : {"\r\n", "\r\n\r\n", "\x1A", "junk\r\nmore"}) {
    fileTable.clear();
    scope.fake.WriteFile(kList3940, list + tail);
    EXPECT_TRUE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable)) << tail;
    EXPECT_EQ(CardPaths(fileTable), (std::vector<std::string>{"A.BIN", "B.BIN"})) << tail;
  }
  EXPECT_TRUE(scope.prompt.messages().empty());
  const size_t cut = list.find("B.BIN") + 3;
  for (const std::string tail : {"", "\r\n"}) {
    fileTable.clear();
    scope.fake.WriteFile(kList3940, list.substr(0, cut) + tail);
    EXPECT_FALSE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable)) << tail.size();
    EXPECT_TRUE(fileTable.empty());
    EXPECT_EQ(scope.prompt.messages().back(), kMsgCRCListDamaged);
  }
}

TEST_F(LoadArrayFromCRCFileTest, APathLeavingTheCardRefusesTheWholeList) {
  scope.state.targetType = kTargetPanel3940;
  for (const std::string evil : {"\\HARDDISK\\..\\X.DLL", "C:\\WINDOWS\\X.DLL",
                                 "\\\\SERVER\\SHARE\\X", "\\HARDDISK\\\\HARDDISK\\..\\X"}) {
    fileTable.clear();
    scope.fake.WriteFile(kList3940, BuildCRCList({{"A.BIN", 1}, {evil, 2}}));
    EXPECT_FALSE(LoadArrayFromCRCFile(scope.state, kList3940, fileTable)) << evil;
    EXPECT_TRUE(fileTable.empty());
    EXPECT_NE(scope.prompt.messages().back().find(kMsgCRCListUnsafePath), std::string::npos);
  }
  EXPECT_NE(scope.job.diagnosticsText.Get().find(std::string(kMsgCRCListUnsafePath) + "..\\X.DLL\r\n"),
            std::string::npos);
}

class VerifyCRCFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scope.state.targetType = kTargetPanel3940;
    // A table as a 3940 store loads it: the list itself comes last and is never checked.
    fileTable = {
        Record(2, "ENGINE.BIN", 1),    Record(3, "Brevant\\App.exe", 0x0A0D0A0D),
        Record(14, "TOOLS\\T.EXE", 3), Record(11, "NK.BIN", 4),
        Record(15, "ALL.DAT", 5),      Record(11, "Quorvane File CRCs.dat", 6)};
  }
  JobScope scope;
  std::vector<FILE_INFO_STRUCT> fileTable;
};

TEST_F(VerifyCRCFileTest, AListMatchingThePanelRecordsPasses) {
  scope.fake.WriteFile(kList3940, BuildCRCList({{"BREVANT\\APP.EXE", 0x0A0D0A0D}, {"nk.bin", 4}}));
  EXPECT_TRUE(VerifyCRCFile(scope.state, fileTable));
  EXPECT_EQ(scope.LogLines(), std::vector<std::string>{"VerifyCRCFile"});
}

TEST_F(VerifyCRCFileTest, ADifferentCRCOrAMissingEntryFails) {
  scope.fake.WriteFile(kList3940, BuildCRCList({{"BREVANT\\APP.EXE", 0x0A0D0A0C}, {"NK.BIN", 4}}));
  EXPECT_FALSE(VerifyCRCFile(scope.state, fileTable));
  scope.fake.WriteFile(kList3940, BuildCRCList({{"BREVANT\\APP.EXE", 0x0A0D0A0D}}));
  EXPECT_FALSE(VerifyCRCFile(scope.state, fileTable));  // NK.BIN reaches the end marker
}

TEST_F(VerifyCRCFileTest, TheLastRecordIsNotChecked) {
  scope.fake.WriteFile(kList3940, BuildCRCList({{"BREVANT\\APP.EXE", 0x0A0D0A0D}, {"NK.BIN", 4}}));
  fileTable.back() = Record(3, "NOT IN THE LIST.BIN", 9);
  EXPECT_TRUE(VerifyCRCFile(scope.state, fileTable));
  fileTable.push_back(Record(2, "ENGINE2.BIN", 1));
  EXPECT_FALSE(VerifyCRCFile(scope.state, fileTable));
}

TEST_F(VerifyCRCFileTest, EveryEntryIsFoundWhateverTheLengthsOfTableAndList) {
  // Lines the list does not know come before the entries: the search reads on through them.
  const std::string list = BuildCRCList({{"BREVANT\\APP.EXE", 0x0A0D0A0D}, {"NK.BIN", 4}});
  scope.fake.WriteFile(kList3940, std::string(list).insert(8, "X\r\nX\r\nX\r\nX\r\n"));
  EXPECT_TRUE(VerifyCRCFile(scope.state, fileTable));

  // A release of 1 to 6 panel files and its list: each verifies, and fails without one entry.
  for (int files = 1; files <= 6; ++files) {
    SCOPED_TRACE(files);
    fileTable.clear();
    std::vector<CRCListEntry> entries;
    for (int i = 0; i < files; ++i) {
      const std::string path = "BREVANT\\APP" + std::to_string(i) + ".EXE";
      fileTable.push_back(Record(3, path, 100u + i));
      entries.push_back({path, 100u + i});
    }
    fileTable.push_back(Record(15, "ALL.DAT", 5));
    fileTable.push_back(Record(11, "Quorvane File CRCs.dat", 6));
    scope.fake.WriteFile(kList3940, BuildCRCList(entries));
    EXPECT_TRUE(VerifyCRCFile(scope.state, fileTable));
    entries.erase(entries.begin() + files / 2);
    scope.fake.WriteFile(kList3940, BuildCRCList(entries));
    EXPECT_FALSE(VerifyCRCFile(scope.state, fileTable));
  }
}

TEST_F(VerifyCRCFileTest, ATableOfOneRecordPassesWithoutReadingTheList) {
  fileTable = {Record(3, "A.BIN", 1)};
  scope.fake.WriteFile(kList3940, "garbage");
  EXPECT_TRUE(VerifyCRCFile(scope.state, fileTable));
}

TEST_F(VerifyCRCFileTest, AMissingListIsShownAndFails) {
  scope.state.targetType = kTargetPanel3950;  // every target but 3940 reads the 3950 list
  scope.fake.WriteFile(kList3940, BuildCRCList({{"BREVANT\\APP.EXE", 0x0A0D0A0D}, {"NK.BIN", 4}}));
  EXPECT_FALSE(VerifyCRCFile(scope.state, fileTable));
  EXPECT_EQ(scope.prompt.messages(), std::vector<std::string>{"CRC information not found!"});
  EXPECT_EQ(scope.job.diagnosticsText.Get(), "");
}

TEST(FindOSImageCRCTest, FindsTheOSImageAmongTheFirstNMinusOneEntries) {
  const std::string list = BuildCRCList({{"A.BIN", 1}, {"\\HARDDISK\\nk.bin", 0x0D0A0D0A}, {"C", 3}});
  const OSImageEntry entry =
      FindOSImageCRC(reinterpret_cast<const uint8_t*>(list.data()), list.size());
  EXPECT_EQ(entry.outcome, OSImageSearch::kFound);
  EXPECT_EQ(entry.path, "\\HARDDISK\\NK.BIN");
  EXPECT_EQ(entry.crc, 0x0D0A0D0Au);
}

TEST(FindOSImageCRCTest, TheLastEntryIsNeverExaminedAndAZeroCountIsEmpty) {
  const std::string last = BuildCRCList({{"A.BIN", 1}, {"NK.NBG", 2}});
  EXPECT_EQ(FindOSImageCRC(reinterpret_cast<const uint8_t*>(last.data()), last.size()).outcome,
            OSImageSearch::kNotFound);
  const std::string empty = BuildCRCList({});
  EXPECT_EQ(FindOSImageCRC(reinterpret_cast<const uint8_t*>(empty.data()), empty.size()).outcome,
            OSImageSearch::kEmptyList);
  EXPECT_EQ(FindOSImageCRC(nullptr, 0).outcome, OSImageSearch::kEmptyList);
}

TEST(FindOSImageCRCTest, ACountLargerThanTheListStopsAtItsEnd) {
  std::string list = BuildCRCList({{"A.BIN", 1}, {"B.BIN", 2}});
  list.replace(0, 4, LittleEndian(0xFFFFFFFF));
  EXPECT_EQ(FindOSImageCRC(reinterpret_cast<const uint8_t*>(list.data()), list.size()).outcome,
            OSImageSearch::kNotFound);
}

TEST(FindOSImageCRCTest, AnEntryNamingAPlaceOutsideTheCardIsNotTaken) {
  const std::string list = BuildCRCList({{"..\\..\\NK.BIN", 1}, {"NK.BIN", 2}, {"END", 3}});
  const OSImageEntry entry =
      FindOSImageCRC(reinterpret_cast<const uint8_t*>(list.data()), list.size());
  EXPECT_EQ(entry.outcome, OSImageSearch::kFound);
  EXPECT_EQ(entry.path, "NK.BIN");
}

TEST(FindOSImageCRCTest, ReadsAnOpenListFromItsStart) {
  JobScope scope;
  scope.fake.WriteFile(kList3950, BuildCRCList({{"NK.NBG", 7}, {"END", 3}}));
  std::unique_ptr<File> file = scope.fake.OpenFile(kList3950, OpenMode::Read);
  file->Seek(6, SeekFrom::Begin);
  const OSImageEntry entry = FindOSImageCRC(*file);
  EXPECT_EQ(entry.outcome, OSImageSearch::kFound);
  EXPECT_EQ(entry.crc, 7u);
}

TEST(CheckIfWDTest, TellsWhetherTheCardCarriesASecondList) {
  JobScope scope;
  EXPECT_FALSE(CheckIfWD(scope.fake, scope.state, scope.state.globalFlashPath));
  scope.fake.WriteFile("E:\\WD\\CRCFile.txt", BuildCRCList({}));
  EXPECT_EQ(CheckIfWD(scope.fake, scope.state, scope.state.globalFlashPath),
            std::optional<std::string>("E:\\WD\\CRCFile.txt"));
  const std::vector<std::string> expected = {"CheckIfWD", "  and it is not.", "CheckIfWD",
                                             "  and it is."};
  EXPECT_EQ(scope.LogLines(), expected);
}

// A CRC list cut short must not pass for a shorter list: the entries it lost would go
// unchecked, and a verification with nothing left to check reports the card good.
constexpr const char* kList = "E:\\Quorvane File CRCs.dat";

class CRCListCutTest : public ::testing::Test {
 protected:
  CRCListCutTest() { scope.state.targetType = kTargetPanel3940; }
  bool Load(const std::string& bytes) {
    scope.fake.WriteFile(kList, bytes);
    return LoadArrayFromCRCFile(scope.state, kList, fileTable);
  }
  test::JobScope scope;
  std::vector<FILE_INFO_STRUCT> fileTable;
};

TEST_F(CRCListCutTest, ListCutAnywhereIsDamagedAndAddsNothing) {
  const std::string whole =
      BuildCRCList({{"NK.BIN", 1}, {"BREVANT\\APP.EXE", 2}, {"BREVANT\\LIB.DLL", 3}});
  for (size_t size = 0; size < whole.size(); ++size) {
    fileTable.clear();
    EXPECT_FALSE(Load(whole.substr(0, size))) << size;
    EXPECT_TRUE(fileTable.empty()) << size;
  }
  EXPECT_EQ(scope.prompt.Count(kMsgCRCListDamaged), whole.size());
  EXPECT_NE(scope.job.diagnosticsText.Get().find(kMsgCRCListDamaged), std::string::npos);
}

TEST_F(CRCListCutTest, WholeListsAndTheEmptyListStillLoad) {
  EXPECT_TRUE(Load(BuildCRCList({{"NK.BIN", 1}, {"BREVANT\\APP.EXE", 2}})));
  ASSERT_EQ(fileTable.size(), 1u);  // NK.BIN is exempt
  EXPECT_EQ(FieldText(fileTable[0].cardPath), "BREVANT\\APP.EXE");
  fileTable.clear();
  EXPECT_TRUE(Load(BuildCRCList({})));
  EXPECT_TRUE(fileTable.empty());
  EXPECT_EQ(scope.prompt.Count(), 0u);
}

// The end marker ends the list: what a saved list carries after it is not read.
TEST_F(CRCListCutTest, BytesAfterTheEndMarkerAreNotRead) {
  EXPECT_TRUE(Load(BuildCRCList({{"BREVANT\\APP.EXE", 2}}) + "BREVANT\\"));
  ASSERT_EQ(fileTable.size(), 1u);
  EXPECT_EQ(fileTable[0].fileCrc, 2u);
}

}  // namespace
}  // namespace cw
