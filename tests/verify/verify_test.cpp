#include "verify/verify.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card/card_inspection.h"
#include "card/volume.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "package/crc_list_writer.h"
#include "package/file_table.h"
#include "package/package_writer.h"
#include "package/stored_package_record.h"
#include "platform/posix_fixture.h"
#include "support/crc.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "rules/bhelper.h"

namespace cw {
namespace {

using test::Crc;

using test::JobScope;

constexpr const char* kFailureHead = "\r\nThe following files did not pass the CRC test:";


class VerifyTest : public ::testing::Test {
 protected:
  VerifyTest() {
    card.otherPackageFiles.clear();
    package.osInPackage = 0;
  }
  ~VerifyTest() override { card.otherPackageFiles.clear(); }

  // A record of the table, and its file on the card (unless content is nullopt).
  void AddFile(int32_t kind, const std::string& cardPath, const std::string& content) {
    AddRecord(kind, cardPath, Crc(content));
    fake.WriteFile("E:\\" + cardPath, content);
  }
  void AddRecord(int32_t kind, const std::string& cardPath, uint32_t crc) {
    FILE_INFO_STRUCT record{};
    SetFieldText(record.cardPath, cardPath);
    SetFieldText(record.checkPath, cardPath);
    record.kind = kind;
    record.fileCrc = crc;
    package.fileTable.push_back(record);
  }
  // The stored copy of the package the table came from: its records (the half of them that
  // belongs in `name` when the package has 3950 support), whatever their files hold.
  void PutStoredCopy(const std::string& name, bool withCrc = true) {
    const StoredCopy part = !package.has3950Support ? StoredCopy::kWhole
                            : name == "FWP_3950.FWP"    ? StoredCopy::kHalf3950
                                                        : StoredCopy::kHalf3940;
    PackageSpec spec;
    spec.setCrc = withCrc;
    for (const FILE_INFO_STRUCT& record : package.fileTable) {
      if (!InStoredCopy(part, record.kind)) continue;
      spec.files.push_back({.kind = record.kind,
                            .cardPath = FieldText(record.cardPath),
                            .checkPath = FieldText(record.checkPath),
                            .content = "packed",
                            .fileCrc = record.fileCrc});
    }
    fake.WriteFile("E:\\" + name, BuildPackage(spec));
  }
  // A 3940 panel card's CRC list, its OS image entry first.
  void PutPanelList(const std::string& osImage) {
    fake.WriteFile("E:\\NK.BIN", osImage);
    fake.WriteFile("E:\\Quorvane File CRCs.dat",
                   BuildCRCList({{"NK.BIN", Crc("the OS image")}, {"BREVANT\\APP.EXE", 7}}));
  }
  VerifyDecision Run() {
    report = VerifyReport{};
    exitCode = RunWorker(scope.state, [this] {
      report = Verify(scope.state, card, package, reference);
      return 0;
    });
    return report.decision;
  }

  Reference reference = Reference::kPackage;  // a verify-only job given a package
  VerifyReport report;                        // the last verification's
  int exitCode = 0;                           // and its worker's

  JobScope scope;
  LoadedPackage package;
  CardFacts card;
  FakePlatform& fake = scope.fake;
  ScriptedPrompt& prompt = scope.prompt;
};

TEST_F(VerifyTest, AnEmptyTableOnAnEngineCardStillChecksTheStoredCopies) {
  scope.state.targetType = kTargetEngine;
  package.has3950Support = 1;
  PutStoredCopy("UPGRADE.FWP");
  PutStoredCopy("FWP_3950.FWP");
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
  EXPECT_EQ(prompt.Count(), 0u);
  // The count stays on the status line ("Done!" is the verify-only job's own) and the job never
  // waits for a display.
  EXPECT_EQ(scope.job.statusText.Get(), "2 Files verified at E:");
  EXPECT_EQ(fake.SleepCount(), 0u);
  reference = Reference::kStoring;
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
  EXPECT_EQ(scope.job.statusText.Get(), "2 Files verified at E:");
}

TEST_F(VerifyTest, AMissingStoredCopyFailsTheCard) {
  scope.state.targetType = kTargetEngine;
  package.has3950Support = 1;
  PutStoredCopy("UPGRADE.FWP");
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  EXPECT_EQ(prompt.messages(),
            std::vector<std::string>{std::string(kFailureHead) + "\r\nE:\\FWP_3950.FWP"});
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(scope.job.statusText.Get(), "Verify FAILED!!");
  EXPECT_NE(scope.job.diagnosticsText.Get().find("\r\nE:\\FWP_3950.FWP"), std::string::npos);
}

TEST_F(VerifyTest, AStoredCopyWithoutAChecksumPassesUnread) {
  scope.state.targetType = kTargetEngine;
  PutStoredCopy("UPGRADE.FWP", /*withCrc=*/false);
  std::string bytes = fake.ReadFile("E:\\UPGRADE.FWP");
  bytes.back() ^= 0x55;  // damage that only a checksum would see
  fake.WriteFile("E:\\UPGRADE.FWP", bytes);
  EXPECT_EQ(Run(), VerifyDecision::kPassed);

  PutStoredCopy("UPGRADE.FWP", /*withCrc=*/true);
  bytes = fake.ReadFile("E:\\UPGRADE.FWP");
  bytes.back() ^= 0x55;
  fake.WriteFile("E:\\UPGRADE.FWP", bytes);
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
}

TEST_F(VerifyTest, ZlibIsCheckedOnceAtTheEngineCardsRoot) {
  scope.state.targetType = kTargetEngine;
  fake.WriteFile("E:\\ZLIBCE.DLL", "zlib library");
  AddRecord(kKindEngine2, "BIN\\ZLIBCE.DLL", Crc("zlib library"));
  AddRecord(kKindPanel3940, "WINDOWS\\zlibce.dll", 0x1234);  // a second record: skipped
  PutStoredCopy("UPGRADE.FWP");
  reference = Reference::kStoring;
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
  // One record and the stored copy: the second record counted nothing.
  EXPECT_EQ(scope.job.statusText.Get(), "2 Files verified at E:");
}

TEST_F(VerifyTest, CommonRawFilesOfAnEngineCardLiveInItsRoot) {
  scope.state.targetType = kTargetEngine;
  AddRecord(kKindCommonRaw, "DOCS\\README.TXT", Crc("read me"));
  fake.WriteFile("E:\\README.TXT", "read me");
  PutStoredCopy("UPGRADE.FWP");
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
  EXPECT_TRUE(scope.Logged("GetFilenameNoPath"));  // the name taken from the record's path
}

TEST_F(VerifyTest, AMissingCommonRawFileFailsAPanelOnlyAfterAStore) {
  scope.state.targetType = kTargetPanel3940;
  package.osInPackage = 1;  // no OS image check
  AddFile(kKindPanel3940, "BREVANT\\APP.EXE", "application");
  AddRecord(kKindCommonRaw, "DOCS\\MANUAL.PDF", Crc("manual"));
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
  EXPECT_EQ(prompt.Count(), 0u);

  reference = Reference::kStoring;
  EXPECT_EQ(Run(), VerifyDecision::kFailedRestore);
  EXPECT_EQ(prompt.messages(),
            std::vector<std::string>{std::string(kFailureHead) + "\r\nE:\\DOCS\\MANUAL.PDF" +
                                     "\r\nStorage failed.\r\nAttempting to restore previous files."});
}

TEST_F(VerifyTest, TheFailureListNamesFullPathsInTableOrder) {
  scope.state.targetType = kTargetEngine;
  AddFile(kKindEngine2, "a\\first.bin", "one");
  AddRecord(kKindEngine7, "b\\second.bin", Crc("two"));
  fake.WriteFile("E:\\b\\second.bin", "TWO");
  AddFile(kKindPanel3940, "c\\other.bin", "not for an engine");  // not relevant: unchecked
  AddRecord(kKindEngine10, "d\\third.bin", Crc("three"));  // missing
  fake.WriteFile("E:\\Other.FWP", "not a package");
  card.otherPackageFiles = {"E:\\OTHER.FWP"};
  reference = Reference::kCard;

  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  EXPECT_EQ(prompt.messages(),
            std::vector<std::string>{std::string(kFailureHead) + "\r\nE:\\B\\SECOND.BIN" +
                                     "\r\nE:\\D\\THIRD.BIN\r\nE:\\UPGRADE.FWP\r\nE:\\OTHER.FWP"});
}

TEST_F(VerifyTest, OtherPackagesAreCheckedOnlyWithoutAPackageFile) {
  scope.state.targetType = kTargetPanel3950;
  package.osInPackage = 1;
  fake.WriteFile("E:\\OLD.FWP", "damaged");
  card.otherPackageFiles = {"E:\\OLD.FWP", "E:\\GONE.FWP"};
  EXPECT_EQ(Run(), VerifyDecision::kPassed);  // against a package: not looked at

  reference = Reference::kCard;
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  // One that does not open is skipped on a verify.
  EXPECT_EQ(prompt.messages().back(), std::string(kFailureHead) + "\r\nE:\\OLD.FWP");

  fake.WriteFile("E:\\OLD.FWP", BuildPackage(PackageSpec{}));
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
}

TEST_F(VerifyTest, EveryFileReadIsRecordedWithWhatItShouldHoldAndWhatItHolds) {
  scope.state.targetType = kTargetEngine;
  AddFile(kKindEngine2, "APP\\GOOD.BIN", "good");
  AddRecord(kKindEngine2, "APP\\CHANGED.BIN", Crc("as packed"));
  fake.WriteFile("E:\\APP\\CHANGED.BIN", "changed");
  AddRecord(kKindEngine2, "APP\\GONE.BIN", 0);
  AddRecord(kKindPanel3940, "BREVANT\\PANEL.EXE", 5);  // not an engine file: not read
  PutStoredCopy("UPGRADE.FWP", /*withCrc=*/false);
  // Read back after a restore: the record says so.
  scope.state.SetPhase(JobPhase::kRestoreVerify, kPhaseRunning);
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);

  const std::vector<FileCheck> checks = report.files;
  ASSERT_EQ(checks.size(), 4u);
  struct Want {
    std::string path;
    bool packageCopy;
    std::optional<uint32_t> expected, actual;
    bool matched;
  };
  const Want wanted[] = {
      {"E:\\APP\\GOOD.BIN", false, Crc("good"), Crc("good"), true},
      {"E:\\APP\\CHANGED.BIN", false, Crc("as packed"), Crc("changed"), false},
      {"E:\\APP\\GONE.BIN", false, 0u, std::nullopt, false},  // missing: nothing read
      {"E:\\UPGRADE.FWP", true, 0u, std::nullopt, true},          // keeps 0: not checked
  };
  for (size_t i = 0; i < checks.size(); ++i) {
    SCOPED_TRACE(wanted[i].path);
    EXPECT_EQ(checks[i].path, wanted[i].path);
    EXPECT_EQ(checks[i].packageCopy, wanted[i].packageCopy);
    EXPECT_EQ(checks[i].expected, wanted[i].expected);
    EXPECT_EQ(checks[i].actual, wanted[i].actual);
    EXPECT_EQ(checks[i].matched, wanted[i].matched);
    EXPECT_TRUE(checks[i].afterRestore);
  }

  // A stored copy that keeps its CRC-32 gives both; each verification reports its own files.
  package.fileTable.clear();
  PutStoredCopy("UPGRADE.FWP");
  PrepareVerifyJob(scope.job);
  scope.state.BeginPhases(JobPhase::kVerifyOnly);
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
  const std::vector<FileCheck> copy = report.files;
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_TRUE(copy[0].expected.has_value() && *copy[0].expected != 0);
  EXPECT_EQ(copy[0].actual, copy[0].expected);
  EXPECT_FALSE(copy[0].afterRestore);
}

TEST_F(VerifyTest, AMissingFileFailsEvenWhenItsRecordedCrcIsZero) {
  scope.state.targetType = kTargetEngine;
  AddFile(kKindEngine2, "EMPTY.DAT", "");  // CRC 0, present: passes
  AddRecord(kKindEngine2, "GONE.DAT", 0);  // CRC 0, missing: fails
  PutStoredCopy("UPGRADE.FWP");
  EXPECT_EQ(Crc(""), 0u);
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  EXPECT_EQ(prompt.messages(),
            std::vector<std::string>{std::string(kFailureHead) + "\r\nE:\\GONE.DAT"});
}

TEST_F(VerifyTest, AFileThatCannotBeReadFailsEvenWhenItsRecordedCrcIsZero) {
  scope.state.targetType = kTargetEngine;
  AddRecord(kKindEngine2, "BAD.DAT", 0);
  PutStoredCopy("UPGRADE.FWP");
  fake.WriteFile("E:\\BAD.DAT", "unreadable sectors");
  fake.FailAlways("Read", kErrIoDevice, "E:\\BAD.DAT");
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  EXPECT_TRUE(prompt.Contains("\r\nE:\\BAD.DAT"));
}

TEST_F(VerifyTest, AModifiedOSImageFailsWithTheWinCEMessage) {
  scope.state.targetType = kTargetPanel3940;
  AddFile(kKindPanel3940, "BREVANT\\APP.EXE", "application");
  PutPanelList("the OS image");
  EXPECT_EQ(Run(), VerifyDecision::kPassed);

  PutPanelList("the OS image, patched");
  scope.job.statusText.Set("");
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{
                                   "WinCE OS file on flash failed CRC test.\r\nAttempting to "
                                   "restore previous files\r\n"});
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(scope.job.statusText.Get(), "0 Files verified");  // left as the loop left it
  EXPECT_NE(scope.job.diagnosticsText.Get().find("WinCE OS file on flash"), std::string::npos);

  // A package that carries the OS image replaced it, so the card's is not checked.
  package.osInPackage = 1;
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
}

TEST_F(VerifyTest, AMissingOSImageFailsEvenWhenItsListedCrcIsZero) {
  scope.state.targetType = kTargetPanel3940;
  fake.WriteFile("E:\\Quorvane File CRCs.dat",
                 BuildCRCList({{"NK.BIN", 0}, {"BREVANT\\APP.EXE", 7}}));
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  EXPECT_TRUE(prompt.Contains("WinCE OS file on flash failed CRC test."));
}

TEST_F(VerifyTest, EachProblemOfThePanelsListHasItsMessage) {
  scope.state.targetType = kTargetPanel3950;
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  fake.WriteFile("E:\\Quorvane File CRCs 3950.dat", BuildCRCList({}));
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  // The OS image in the last entry is never reached.
  fake.WriteFile("E:\\Quorvane File CRCs 3950.dat",
                 BuildCRCList({{"BREVANT\\APP.EXE", 7}, {"NK.NBG", 8}}));
  EXPECT_EQ(Run(), VerifyDecision::kFailedNoRestore);
  EXPECT_EQ(prompt.messages(), (std::vector<std::string>{
                                   "Stored CRC file could not be opened.\r\n",
                                   "CRC File verification failed.\r\nPossible 3940/3950 mismatch.",
                                   "Stored WinCE CRC could not be found\r\n."}));

  // After a store the list must be there and match the table, or the backup goes back.
  reference = Reference::kStoring;
  fake.DeleteFile("E:\\Quorvane File CRCs 3950.dat");
  EXPECT_EQ(Run(), VerifyDecision::kFailedRestore);
  const std::vector<std::string> messages = prompt.messages();
  EXPECT_EQ(std::vector<std::string>(messages.end() - 2, messages.end()),
            (std::vector<std::string>{
                "CRC information not found!",
                "CRC File verification failed.\r\nAttempting to restore previous files.\r\n"}));
}

TEST_F(VerifyTest, ProgressCoversTheTableAndAStopEndsTheJob) {
  scope.state.targetType = kTargetEngine;
  for (int i = 0; i < 5; ++i) AddFile(kKindEngine2, "F" + std::to_string(i), "x");
  PutStoredCopy("UPGRADE.FWP");
  EXPECT_EQ(Run(), VerifyDecision::kPassed);
  EXPECT_EQ(scope.job.progressMin, 0);
  EXPECT_EQ(scope.job.progressMax, 5);
  EXPECT_EQ(scope.job.progressPos, 4);

  scope.job.stopRequested = 1;
  fake.ClearCalls();
  Run();
  EXPECT_EQ(exitCode, kExitStopped);
  EXPECT_EQ(scope.job.jobRunning, 0);
  EXPECT_EQ(fake.CallCount("OpenFile", "E:\\F0"), 0u);  // not one file was read
  EXPECT_EQ(prompt.Count(), 0u);
}

// The verification after a store reads the card, not what the host cached of it: a file
// changed behind the program's back is seen as changed once the card has been ejected.
class EjectThenReadTest : public test::PosixTest {
 protected:
  EjectThenReadTest() {
    job.prompt = &prompt;
    job.jobRunning = 1;
  }
  ScriptedPrompt prompt;
  JobContext job;
  JobState state{*platform_, job};
};

TEST_F(EjectThenReadTest, AFileChangedBeforeAnEjectIsReadAfresh) {
  OnCard("APP/MAIN.BIN", std::string(8192, 'a'));
  EXPECT_EQ(CBHelper::GetFileCRC(state.platform, state, "E:\\APP\\MAIN.BIN"), Crc(std::string(8192, 'a')));

  // Same size, other bytes, written on the host side.
  std::string changed(8192, 'a');
  changed[4000] = 'b';
  temp_.Write("card/APP/MAIN.BIN", changed);
  ASSERT_EQ(temp_.Read("card/APP/MAIN.BIN"), changed);
  ASSERT_TRUE(EjectCompactFlash(state.platform, state, 'E'));
  EXPECT_EQ(prompt.Count(), 0u) << "the folder card dismounts cleanly";

  EXPECT_EQ(CBHelper::GetFileCRC(state.platform, state, "E:\\APP\\MAIN.BIN"), Crc(changed));
}

}  // namespace
}  // namespace cw
