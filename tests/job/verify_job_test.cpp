#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "record/job_state.h"
#include "job/jobs.h"
#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "support/crc.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "rules/bhelper.h"
#include "verify/verify.h"

namespace cw {
namespace {

using test::Crc;

using test::JobScope;
using test::MakeFile;

constexpr const char* kInvalidDrive =
    "Invalid drive type selected.\r\nPlease select a compact flash drive.";
constexpr const char* kNotOpening =
    "The selected drive is not opening.\r\nDo you have sufficient privileges?";
constexpr const char* kUnknownType =
    "Compact Flash type could not be determined.\r\nVerify correct drive and try again.\r\n";


class VerifyOnlyTest : public ::testing::Test {
 protected:
  // An engine package and the card programmed from it, with its stored copy.
  void LayEngineCard() {
    PackageSpec spec;
    spec.files = {MakeFile(kKindEngine2, "APP\\MAIN.BIN", "engine program"),
                  MakeFile(kKindCommon, "CONFIG\\UNITS.TXT", "units"),
                  MakeFile(kKindPanel3940, "BREVANT\\PANEL.EXE", "panel program")};
    const std::string bytes = scope.PutPackage(spec);
    fake.WriteFile("E:\\APP\\MAIN.BIN", "engine program");
    fake.WriteFile("E:\\CONFIG\\UNITS.TXT", "units");
    fake.WriteFile("E:\\UPGRADE.FWP", bytes);
  }
  // A 3940 panel card that carries its CRC list.
  void LayPanelCard() {
    fake.WriteFile("E:\\NK.BIN", "the OS image");
    fake.WriteFile("E:\\BREVANT\\APP.EXE", "application");
    fake.WriteFile("E:\\Quorvane File CRCs.dat",
                   BuildCRCList({{"NK.BIN", Crc("the OS image")},
                                 {"\\HARDDISK\\BREVANT\\APP.EXE", Crc("application")}}));
  }

  JobResult Run(const std::string& card, const std::string& package) {
    request.cardPath = card;
    request.packagePath = package;
    PrepareVerifyJob(job);
    return VerifyOnlyJob(scope.state, test::VerifyRequestOf(scope.request), &found);
  }

  JobScope scope;
  // What the last Run found on the card and made of the package.
  JobFindings found;
  FakePlatform& fake = scope.fake;
  ScriptedPrompt& prompt = scope.prompt;
  JobContext& job = scope.job;
  StoreRequest& request = scope.request;
};

TEST_F(VerifyOnlyTest, AnEngineCardPassesAgainstItsPackageAndIsLeftAlone) {
  LayEngineCard();
  scope.state.targetType = kTargetPanel3950;  // an earlier job's values do not carry over
  found.package.has3950Support = 1;
  found.card.osOnCard = 1;
  EXPECT_EQ(Run("E:", test::kPackagePath).outcome, JobOutcome::kPassed);
  EXPECT_EQ(job.verifyOnlyState, kPhaseDone);
  EXPECT_EQ(job.verifyState, kPhaseDone);
  EXPECT_EQ(job.jobRunning, 0);
  EXPECT_EQ(prompt.Count(), 0u);
  EXPECT_EQ(scope.state.targetType, kTargetEngine);
  EXPECT_EQ(found.card.osOnCard, 0);
  EXPECT_EQ(scope.state.globalFlashPath, "E:");
  EXPECT_EQ(scope.state.globalFWPDataFilePath, test::kPackagePath);
  // The upgrade record is built, and kept from the card.
  EXPECT_NE(scope.state.upgradeInfoText.find("Target Device: QuorVane Engine\r\n"),
            std::string::npos);
  EXPECT_NE(job.diagnosticsText.Get().find("Upgrade Info Start"), std::string::npos);
  EXPECT_FALSE(fake.Exists("E:\\FWP_INFO_FILE.TXT"));
  EXPECT_EQ(fake.CallCount("DismountVolume"), 0u);
  const std::vector<std::string> lines = scope.LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "VerifyOnly");
}

// Every new file in place but the older release's intact copy (a store cut before its copy was
// written): against the new package the card fails, naming the copy.
TEST_F(VerifyOnlyTest, AStoredCopyOfAnotherReleaseFailsAgainstThePackage) {
  LayEngineCard();
  fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(test::EngineRelease("older engine program")));
  EXPECT_EQ(Run("E:", test::kPackagePath).outcome, JobOutcome::kFailed);
  EXPECT_NE(job.diagnosticsText.Get().find("did not pass the CRC test:\r\nE:\\UPGRADE.FWP"),
            std::string::npos)
      << job.diagnosticsText.Get();
  // Against the card's own reference the copy is the reference, and it is intact.
  fake.WriteFile("E:\\APP\\MAIN.BIN", "older engine program");
  EXPECT_EQ(Run("E:", "").outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
}

// A renamed older copy is not the card's reference, though Windows matches "*.FWP" to it
// through its short name "UPGRA~1.FWP" (and lists it last).
TEST_F(VerifyOnlyTest, WithoutAPackageAnEngineCardIsCheckedAgainstItsStoredCopy) {
  LayEngineCard();
  fake.DeleteFile(test::kPackagePath);
  fake.WriteFile("E:\\UPGRADE.FWPOLD", BuildPackage(PackageSpec{.releaseNumber = 7}));
  EXPECT_EQ(Run("E:", "").outcome, JobOutcome::kPassed);
  EXPECT_EQ(found.package.osInPackage, 1);
  EXPECT_EQ(scope.state.globalFWPDataFilePath, "");  // the request's path, never rewritten
}

TEST_F(VerifyOnlyTest, WithoutAPackageAPanelCardIsCheckedAgainstItsCRCList) {
  LayPanelCard();
  EXPECT_EQ(Run("e:", "").outcome, JobOutcome::kPassed);  // a lower-case letter passes the C test
  EXPECT_EQ(scope.state.targetType, kTargetPanel3940);
  EXPECT_EQ(found.package.osInPackage, 1);

  fake.WriteFile("E:\\BREVANT\\APP.EXE", "application, changed");
  EXPECT_EQ(Run("E:", "").outcome, JobOutcome::kFailed);
  EXPECT_EQ(job.verifyOnlyState, kPhaseDone);
  EXPECT_EQ(job.verifyState, kPhaseFailed);
  EXPECT_TRUE(prompt.Contains("\r\nE:\\BREVANT\\APP.EXE"));
}

TEST_F(VerifyOnlyTest, OnlyARemovableDriveWithoutACInItsPathIsAccepted) {
  fake.AddDrive('F', DriveType::Fixed, "FAT16", 64ull << 20);
  fake.AddDrive('C', DriveType::Removable, "FAT16", 64ull << 20);
  EXPECT_EQ(Run("F:", "").outcome, JobOutcome::kRefused);
  EXPECT_EQ(Run("E:\\CARD", "").outcome, JobOutcome::kRefused);  // not a drive root
  EXPECT_EQ(Run("C:", "").outcome, JobOutcome::kRefused);         // removable, but the letter test refuses it
  EXPECT_EQ(prompt.messages(),
            (std::vector<std::string>{kInvalidDrive, kInvalidDrive, kInvalidDrive}));
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::Warning);
  // The state rows are left as the front end set them.
  EXPECT_EQ(job.verifyOnlyState, kPhaseRunning);
  EXPECT_EQ(job.verifyState, kPhaseRunning);
  EXPECT_EQ(job.jobRunning, 0);
  EXPECT_NE(job.diagnosticsText.Get().find(kInvalidDrive), std::string::npos);
}

TEST_F(VerifyOnlyTest, AVolumeThatDoesNotOpenFailsTheVerification) {
  LayEngineCard();
  fake.FailAlways("OpenVolume", kErrAccessDenied);
  EXPECT_EQ(Run("E:", test::kPackagePath).outcome, JobOutcome::kRefused);
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kNotOpening});
  EXPECT_EQ(job.verifyState, kPhaseFailed);
  EXPECT_EQ(job.verifyOnlyState, kPhaseRunning);
  EXPECT_EQ(fake.CallCount("GetDiskSpace"), 0u);
}

TEST_F(VerifyOnlyTest, ACardOfTheWrongFileSystemFailsTheVerification) {
  fake.AddDrive('G', DriveType::Removable, "FAT32", 64ull << 20);
  fake.WriteFile("G:\\UPGRADE.FWP", "x");
  EXPECT_EQ(Run("G:", "").outcome, JobOutcome::kRefused);
  EXPECT_EQ(job.verifyState, kPhaseFailed);
  EXPECT_EQ(prompt.Count(), 1u);  // BasicFlashCheck's own message
  EXPECT_EQ(fake.CallCount("FindFiles", "G:\\*.*"), 0u);
}

TEST_F(VerifyOnlyTest, ACardOfUnknownTypeIsRefusedWhateverTheTargetChoice) {
  fake.WriteFile("E:\\DATA\\LOG.TXT", "not a programmed card");
  request.target = TargetChoice::kEngine;
  EXPECT_EQ(Run("E:", test::kPackagePath).outcome, JobOutcome::kRefused);
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{kUnknownType});
  EXPECT_EQ(job.verifyState, kPhaseFailed);
  EXPECT_EQ(job.verifyOnlyState, kPhaseRunning);
  EXPECT_EQ(prompt.ChooserCount(), 0u);
}

TEST_F(VerifyOnlyTest, ATableThatDoesNotLoadFailsTheInspectionRow) {
  LayEngineCard();
  fake.DeleteFile(test::kPackagePath);
  EXPECT_EQ(Run("E:", test::kPackagePath).outcome, JobOutcome::kRefused);
  EXPECT_EQ(job.verifyOnlyState, kPhaseFailed);
  EXPECT_EQ(job.verifyState, kPhaseRunning);
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"FWP file not found!\r\n"});
}

// A card pulled out as its files were read leaves the slot empty: the verdict on what was read
// stands, and the job ends instead of reading again for a card that is not there.
TEST_F(VerifyOnlyTest, ACardPulledOutDuringTheReadingKeepsItsVerdict) {
  LayEngineCard();
  ASSERT_EQ(Run("E:", test::kPackagePath).outcome, JobOutcome::kPassed);
  const size_t queries = fake.CallCount("GetVolumeInformation");
  fake.FailCall("GetVolumeInformation", kErrNotReady, static_cast<int>(queries));
  EXPECT_EQ(Run("E:", test::kPackagePath).outcome, JobOutcome::kPassed);
  EXPECT_EQ(fake.CallCount("GetVolumeInformation"), 2 * queries);
}

TEST_F(VerifyOnlyTest, AStopDuringVerificationEndsWithFive) {
  LayEngineCard();
  request.cardPath = "E:";
  request.packagePath = test::kPackagePath;
  PrepareVerifyJob(job);
  job.stopRequested = 1;  // seen at the first record
  const JobResult result = VerifyOnlyJob(scope.state, test::VerifyRequestOf(scope.request));
  EXPECT_EQ(result.outcome, JobOutcome::kStopped);
  EXPECT_EQ(job.jobRunning, 0);
  EXPECT_EQ(job.verifyOnlyState, kPhaseDone);
  // Said and logged as a stop.
  EXPECT_EQ(result.stop, kStoppedVerify);
  EXPECT_EQ(job.statusText.Get(), "Stopped: the verification did not finish.");
  const std::vector<std::string> lines = scope.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  the verification was stopped by request."),
            lines.end());
}

}  // namespace
}  // namespace cw
