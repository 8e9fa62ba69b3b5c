#include <gtest/gtest.h>

#include <string>

#include "record/job_io.h"
#include "record/job_state.h"
#include "job/jobs.h"
#include "platform/text.h"
#include "support/job_fixture.h"

namespace cw {
namespace {

class UpgradeInfoTest : public test::JobFixture {
 protected:
  UpgradeInfoTest() {
    fake.SetUserName("tech");
    fake.SetLocalTime({2024, 12, 6, 13, 45, 5, 250});
    versions.fwpVersion = 1009;
    versions.versionBlock.generatorVersion = 2;
    versions.versionBlock.generatorRevision = 5;
    versions.versionBlock.generatorLetter = 'C';
    request.packagePath = "c:\\packages\\Unit 7.fwp";
  }

  std::string Build(int32_t target) {
    RunWorker(state, [this, target] {
      GetUpgradeInfo(state, target, versions, request.packagePath);
      return 0;
    });
    return state.upgradeInfoText;
  }

  PackageVersions versions;
};

TEST_F(UpgradeInfoTest, TheRecordHasItsTenLines) {
  EXPECT_EQ(Build(kTargetPanel3950),
            "****** Upgrade Info Start ******\r\n"
            "User Name: tech\r\n"
            "Date: 12/06/24\r\n"
            "Time: 13:45:05\r\n"
            "FWP File Format Version: 1.009\r\n"
            "FWP File Generator Version: 2.005\r\n"
            "FWP File Downloader Version: 1.061\r\n"
            "FWP File Name: c:\\packages\\Unit 7.fwp\r\n"
            "Target Device: QuorVane 3950 Panel\r\n"
            "****** Upgrade Info End ******\r\n\r\n\r\n");
}

TEST_F(UpgradeInfoTest, EachTargetHasItsDeviceLine) {
  EXPECT_NE(Build(kTargetEngine).find("\r\nTarget Device: QuorVane Engine\r\n"),
            std::string::npos);
  EXPECT_NE(Build(kTargetPanel3940).find("\r\nTarget Device: QuorVane 3940 Panel\r\n"),
            std::string::npos);
  EXPECT_NE(Build(kTargetUnknown).find("\r\nTarget Device: Other\r\n"), std::string::npos);
  EXPECT_NE(Build(7).find("\r\nTarget Device: Other\r\n"), std::string::npos);
}

TEST_F(UpgradeInfoTest, EarlyDatesAndAnOldPackageArePadded) {
  fake.SetLocalTime({2005, 1, 2, 3, 4, 5, 0});
  versions = PackageVersions{};
  versions.fwpVersion = 1000;
  const std::string record = Build(kTargetEngine);
  EXPECT_NE(record.find("\r\nDate: 01/02/05\r\nTime: 03:04:05\r\n"), std::string::npos);
  EXPECT_NE(record.find("\r\nFWP File Format Version: 1.000\r\n"), std::string::npos);
  EXPECT_NE(record.find("\r\nFWP File Generator Version: 0.000\r\n"), std::string::npos);
}

TEST_F(UpgradeInfoTest, ALongUserNameIsCutTo299Characters) {
  fake.SetUserName(std::string(400, 'u'));
  EXPECT_NE(Build(kTargetEngine).find("User Name: " + std::string(299, 'u') + "\r\n"),
            std::string::npos);
}

TEST_F(UpgradeInfoTest, TheRecordReplacesTheLastAndJoinsTheTranscript) {
  job.diagnosticsText.Set("earlier words\r\n");
  state.upgradeInfoText = "stale";
  const std::string record = Build(kTargetEngine);
  EXPECT_EQ(record.rfind("****** Upgrade Info Start", 0), 0u);
  EXPECT_EQ(job.diagnosticsText.Get(), "earlier words\r\n" + record);
  // The log holds the whole transcript as one entry, after the operation's name.
  const std::string logText = fake.ReadFile(test::kLogPath);
  const size_t name = logText.find(" - GetUpgradeInfo\r\n");
  ASSERT_NE(name, std::string::npos);
  // The log file is written in text mode: each LF of the entry reaches it as CR LF.
  const std::string entry = ReplaceAll("earlier words\r\n" + record, "\n", "\r\n");
  EXPECT_NE(logText.find(" - " + entry, name), std::string::npos);
}

}  // namespace
}  // namespace cw
