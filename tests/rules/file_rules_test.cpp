#include "rules/file_rules.h"

#include <gtest/gtest.h>

#include "package/file_table.h"
#include "package/loaded_package.h"
#include "record/job_state.h"
#include "support/job_fixture.h"

namespace cw {
namespace {

using test::JobScope;

FILE_INFO_STRUCT Record(int32_t kind, const std::string& cardPath = "APP\\FILE.BIN") {
  FILE_INFO_STRUCT record{};
  record.kind = kind;
  SetFieldText(record.cardPath, cardPath);
  return record;
}

std::vector<int32_t> RelevantKinds(JobState& state) {
  std::vector<int32_t> kinds;
  for (int32_t kind = -1; kind <= 20; ++kind) {
    if (FileIsRelevant(state, state.targetType, Record(kind))) kinds.push_back(kind);
  }
  return kinds;
}

TEST(GetFilenameNoPathTest, ReturnsTheTextAfterTheLastBackslash) {
  JobScope scope;
  EXPECT_EQ(GetFilenameNoPath("TOOLS\\SUB\\X.BIN"), "X.BIN");
  EXPECT_EQ(GetFilenameNoPath("X.BIN"), "X.BIN");
  EXPECT_EQ(GetFilenameNoPath("TOOLS\\"), "");
  EXPECT_EQ(GetFilenameNoPath("A/B"), "A/B");
  // The callers, which have the job's log, write the name (extraction_test, verify_test).
  EXPECT_TRUE(scope.LogLines().empty());
}

TEST(FileIsRelevantTest, EachTargetHasItsKindsAnd14And15BelongEverywhere) {
  JobScope scope;
  scope.state.targetType = kTargetEngine;
  EXPECT_EQ(RelevantKinds(scope.state), (std::vector<int32_t>{2, 7, 10, 13, 14, 15}));
  scope.state.targetType = kTargetPanel3940;
  EXPECT_EQ(RelevantKinds(scope.state), (std::vector<int32_t>{3, 11, 14, 15}));
  scope.state.targetType = kTargetPanel3950;
  EXPECT_EQ(RelevantKinds(scope.state), (std::vector<int32_t>{9, 12, 14, 15}));
  scope.state.targetType = kTargetUnknown;
  EXPECT_EQ(RelevantKinds(scope.state), (std::vector<int32_t>{14, 15}));
  scope.state.targetType = 7;
  EXPECT_EQ(RelevantKinds(scope.state), (std::vector<int32_t>{14, 15}));
  EXPECT_EQ(scope.LogLines().front(), "FileIsRelevant");
}

TEST(FileIsRelevantTest, AZlibDllOfAnyKindBelongsOnAnEngineCardOnly) {
  JobScope scope;
  scope.state.targetType = kTargetEngine;
  EXPECT_TRUE(FileIsRelevant(scope.state, scope.state.targetType, Record(3, "Windows\\zlibce.dll")));
  EXPECT_TRUE(FileIsRelevant(scope.state, scope.state.targetType, Record(0, "ZLIBCE.DLL.OLD")));
  EXPECT_FALSE(FileIsRelevant(scope.state, scope.state.targetType, Record(3, "Windows\\zlib.dll")));
  scope.state.targetType = kTargetPanel3940;
  EXPECT_FALSE(FileIsRelevant(scope.state, scope.state.targetType, Record(9, "ZLIBCE.DLL")));
}

TEST(FileIsSpeciallyProtectedTest, ProtectedSubstringsAreCaseSensitive) {
  JobScope scope;
  scope.state.targetType = kTargetPanel3940;
  for (const char* path : {"E:\\NK.BIN", "E:\\NK.NBG", "E:\\DATA\\BANK.DAT", "E:\\BPANEL.INI",
                           "E:\\X.HV", "E:\\KEYS\\A.MKY", "E:\\PUBLIC\\A.TXT", "E:\\WD\\CRCFILE.TXT"}) {
    EXPECT_TRUE(FileIsSpeciallyProtected(scope.state, path, false)) << path;
  }
  for (const char* path : {"E:\\public\\A.TXT", "E:\\nk.bin", "E:\\APP.EXE", "E:\\PUBLICX\\A",
                           "E:\\WDX\\A"}) {
    EXPECT_FALSE(FileIsSpeciallyProtected(scope.state, path, false)) << path;
  }
  EXPECT_EQ(scope.LogLines().front(), "FileIsSpeciallyProtected");
}

TEST(FileIsSpeciallyProtectedTest, ATenZeroPackageWithoutOSKeepsEverythingOnA3950Card) {
  JobScope scope;
  LoadedPackage package;
  auto isProtected = [&scope, &package] {
    return FileIsSpeciallyProtected(scope.state, "E:\\APP.EXE",
                                    package.KeepsWholeCard(scope.state.targetType));
  };
  package.headerWords[0] = 10;
  package.headerWords[1] = 0;
  scope.state.targetType = kTargetPanel3950;
  package.osInPackage = 0;
  EXPECT_TRUE(isProtected());
  package.osInPackage = 1;
  EXPECT_FALSE(isProtected());
  package.osInPackage = 0;
  scope.state.targetType = kTargetPanel3940;
  EXPECT_FALSE(isProtected());
  scope.state.targetType = kTargetPanel3950;
  package.headerWords[1] = 1;
  EXPECT_FALSE(isProtected());
  package.headerWords[0] = 9;
  package.headerWords[1] = 0;
  EXPECT_FALSE(isProtected());
}

TEST(FileIsCRCExemptTest, TheFifteenNamesAreExemptInAnyCaseAnywhereInThePath) {
  JobScope scope;
  for (const char* path :
       {"a.mky", "X.HV", "CONFIG\\bpanel.ini", "ObjectStore.ini", "\\PUBLIC\\DEEP\\A.TXT",
        "Advantech Desktop.cab", "ADVANTECH SYSTEM.CAB", "wince.reg", "\\HARDDISK\\NK.BIN",
        "calibrateme.txt", "DisplayReleaseNotes.txt", "PocketVNC.ini", "SetLanguage.txt",
        "NK.NBG", "fwp_info_file.txt"}) {
    EXPECT_TRUE(FileIsCRCExempt(path)) << path;
  }
  for (const char* path : {"APP.EXE", "PUBLIC\\A.TXT", "NK.BI", "X.H", "BANK.DAT", ""}) {
    EXPECT_FALSE(FileIsCRCExempt(path)) << path;
  }
  EXPECT_TRUE(scope.LogLines().empty());  // the one rule that does not log
}

}  // namespace
}  // namespace cw
