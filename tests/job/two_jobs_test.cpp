// Two store jobs in one process at the same time: an Engine card and a Panel card, each job with
// its own data folder and backup. Nothing but the log is shared between them, so each card ends
// up programmed and verified and each transcript tells its own job only. And two jobs on two
// machines of their own (in-memory platforms) at once: each job reaches only its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "record/job_context.h"
#include "job/jobs.h"
#include "log/log_to_file.h"
#include "package/crc_list_writer.h"
#include "package/package_writer.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "support/crc.h"
#include "support/fake_platform.h"
#include "support/job_fixture.h"
#include "support/log_lines.h"
#include "support/package_builder.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"

namespace cw {
namespace {

using test::Crc;
using test::EngineRelease;

// The host folder as the job names it: the host's root is C:.
std::string OnDriveC(const std::string& hostPath) {
  std::string path = "C:" + hostPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// One store job's own card, data folder, prompt and record.
struct OneJob {
  std::string name;  // the card's folder below the test's temporary folder
  ScriptedPrompt prompt;
  JobContext job;
  StoreRequest request;
  JobResult result;
};

class TwoJobsTest : public ::testing::Test {
 protected:
  TwoJobsTest() {
    PosixPlatformOptions options;
    for (char letter : {'E', 'F'}) {
      DriveMapping card;
      card.letter = letter;
      card.hostPath = temp_.Sub(std::string("card") + letter);
      card.fileSystem = "FAT16";
      card.totalBytes = 64ull << 20;
      options.mappings.push_back(card);
    }
    options.discoverMounts = false;
    options.instantSleeps = true;
    options.privateFolder = temp_.path();
    platform_ = MakePosixPlatform(options);
    log_ = std::make_unique<CLogToFile>(*platform_);
    temp_.Write("log/.keep", "");
    log_->SetLogFile(OnDriveC(temp_.Sub("log/fwp_downloader.log")));
    log_->SetEnabled(true);
  }

  // A store job of `package` onto the card `letter`, with the data folder "data<letter>".
  void Prepare(OneJob& one, char letter, const PackageSpec& package) {
    one.name = std::string("card") + letter;
    const std::string data = std::string("data") + letter;
    temp_.Write(data + "/.keep", "");
    one.job.log = log_.get();
    one.job.prompt = &one.prompt;
    one.request.cardPath = std::string(1, letter) + ":";
    one.request.packagePath = OnDriveC(temp_.Write(std::string("package") + letter + ".FWP",
                                           BuildPackage(package)));
    one.request.dataPath = OnDriveC(temp_.Sub(data));
    PrepareStoreJob(one.job);
  }

  std::string Card(const OneJob& one, const std::string& relative) const {
    return temp_.Read(one.name + "/" + relative);
  }

  test::TempDir temp_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<CLogToFile> log_;  // the one thing both jobs share
};

TEST_F(TwoJobsTest, AnEngineStoreAndAPanelStoreRunAtTheSameTime) {
  // Older installations on both cards.
  temp_.Write("cardE/UPGRADE.FWP", BuildPackage(EngineRelease("old main", "io")));
  temp_.Write("cardE/APP/MAIN.BIN", "old main");
  temp_.Write("cardE/NOTES.TXT", "notes");
  temp_.Write("cardF/NK.BIN", "old os");
  temp_.Write("cardF/BREVANT/APP.EXE", "old app");
  temp_.Write("cardF/BREVANT/BPANEL.INI", "settings");
  temp_.Write("cardF/Quorvane File CRCs.dat",
              BuildCRCList({{"NK.BIN", Crc("old os")}, {"BREVANT\\APP.EXE", Crc("old app")}}));

  OneJob engine, panel;
  Prepare(engine, 'E', EngineRelease("new main", "io"));
  Prepare(panel, 'F', test::PanelRelease("new app"));
  std::thread first([this, &engine] {
    engine.result = DownloadAndVerify(*platform_, &engine.job, engine.request);
  });
  std::thread second([this, &panel] {
    panel.result = DownloadAndVerify(*platform_, &panel.job, panel.request);
  });
  first.join();
  second.join();

  for (OneJob* one : {&engine, &panel}) {
    SCOPED_TRACE(one->name);
    EXPECT_EQ(one->result.outcome, JobOutcome::kPassed);
    EXPECT_EQ(one->result.check, Verdict::kPassed);
    EXPECT_EQ(one->result.restore, Verdict::kNone);
    EXPECT_EQ(one->job.jobRunning, 0);
    EXPECT_EQ(one->job.prepState, kPhaseDone);
    EXPECT_EQ(one->job.storeState, kPhaseDone);
    EXPECT_EQ(one->job.verifyState, kPhaseDone);
    EXPECT_EQ(one->job.restoreState, kPhaseIdle);
    EXPECT_EQ(one->job.statusText.Get(), "Done!");
    EXPECT_EQ(one->prompt.messages().size(), 1u) << one->prompt.messages().back();
  }

  // The Engine card: its new files, the stored copy, its note kept; the old files backed up in
  // its own data folder.
  EXPECT_EQ(Card(engine, "APP/MAIN.BIN"), "new main");
  EXPECT_EQ(Card(engine, "APP/LIB/UTIL.DLL"), "io");
  EXPECT_EQ(Card(engine, "UPGRADE.FWP"), BuildPackage(EngineRelease("new main", "io")));
  EXPECT_EQ(Card(engine, "NOTES.TXT"), "notes");
  EXPECT_EQ(temp_.Read("dataE/QUORVANE_ENGINE_CF_BACKUP/APP/MAIN.BIN"), "old main");
  EXPECT_EQ(temp_.Read("dataE/QUORVANE_ENGINE_CF_BACKUP/NOTES.TXT"), "notes");
  EXPECT_EQ(temp_.Read("dataE/QUORVANE_PANEL_CF_BACKUP/BREVANT/APP.EXE"), "");

  // The Panel card: its new files and release number, its settings kept; its backup in its own
  // data folder.
  EXPECT_EQ(Card(panel, "NK.BIN"), "new os");
  EXPECT_EQ(Card(panel, "BREVANT/APP.EXE"), "new app");
  EXPECT_EQ(Card(panel, "BREVANT/HELP.TXT"), "h");
  EXPECT_EQ(Card(panel, "BREVANT/BPANEL.INI"), "settings");
  EXPECT_EQ(Card(panel, "BREVANT/ReleaseNumber"), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(temp_.Read("dataF/QUORVANE_PANEL_CF_BACKUP/BREVANT/APP.EXE"), "old app");
  EXPECT_EQ(temp_.Read("dataF/QUORVANE_ENGINE_CF_BACKUP/APP/MAIN.BIN"), "");

  // Each transcript tells its own job, and each card got its own upgrade record.
  const std::string engineText = engine.job.diagnosticsText.Get();
  const std::string panelText = panel.job.diagnosticsText.Get();
  EXPECT_NE(engineText.find("Target Device: QuorVane Engine\r\n"), std::string::npos);
  EXPECT_EQ(engineText.find("Panel"), std::string::npos);
  EXPECT_NE(panelText.find("Target Device: QuorVane 3940 Panel\r\n"), std::string::npos);
  EXPECT_EQ(panelText.find("Engine"), std::string::npos);
  for (const std::string* text : {&engineText, &panelText}) {
    EXPECT_NE(text->find("\r\nVerify Complete"), std::string::npos);
    EXPECT_EQ(text->rfind("\r\nDownload Complete."), text->size() - 20);
  }
  EXPECT_NE(Card(engine, "FWP_INFO_FILE.TXT").find("packageE.FWP"), std::string::npos);
  EXPECT_NE(Card(panel, "FWP_INFO_FILE.TXT").find("packageF.FWP"), std::string::npos);
  EXPECT_EQ(Card(panel, "FWP_INFO_FILE.TXT").find("packageE.FWP"), std::string::npos);

  // The shared log holds both jobs' lines whole.
  const std::vector<std::string> lines = LogMessages(temp_.Read("log/fwp_downloader.log"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "DownloadAndVerify - START"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  DownloadAndVerify complete."), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "  Stage 18..."), 2);
}

// The same card letter, package path and data folder on two in-memory platforms, a store job on
// each at the same time: each card gets its own package and each PC its own backup and log line,
// so neither job reached the other's platform.
TEST(TwoPlatformsTest, TwoJobsOnTwoFakePlatformsEachProgramTheirOwnCard) {
  struct Side {
    std::string main;  // the new content of APP\MAIN.BIN on this side's card
    test::JobScope scope;
    JobResult result;
  };
  Side sides[2] = {{.main = "first main", .scope = {}, .result = {}},
                   {.main = "second main", .scope = {}, .result = {}}};
  for (Side& side : sides) {
    FakePlatform& fake = side.scope.fake;
    fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(EngineRelease("old " + side.main, "io")));
    fake.WriteFile("E:\\APP\\MAIN.BIN", "old " + side.main);
    side.scope.PutPackage(EngineRelease(side.main, "io"));
    side.scope.ChooseForJob(test::kPackagePath);
    PrepareStoreJob(side.scope.job);
  }
  std::thread first([&sides] {
    sides[0].result =
        DownloadAndVerifyJob(sides[0].scope.state, sides[0].scope.request);
  });
  std::thread second([&sides] {
    sides[1].result =
        DownloadAndVerifyJob(sides[1].scope.state, sides[1].scope.request);
  });
  first.join();
  second.join();

  const std::string backup = std::string(test::kDataPath) + "\\QUORVANE_ENGINE_CF_BACKUP";
  for (Side& side : sides) {
    SCOPED_TRACE(side.main);
    FakePlatform& fake = side.scope.fake;
    EXPECT_EQ(side.result.outcome, JobOutcome::kPassed);
    EXPECT_EQ(side.scope.job.statusText.Get(), "Done!");
    EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), side.main);
    EXPECT_EQ(fake.ReadFile("E:\\APP\\LIB\\UTIL.DLL"), "io");
    EXPECT_EQ(fake.ReadFile("E:\\UPGRADE.FWP"), BuildPackage(EngineRelease(side.main, "io")));
    EXPECT_EQ(fake.ReadFile(backup + "\\APP\\MAIN.BIN"), "old " + side.main);
    const std::vector<std::string> lines = side.scope.LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "DownloadAndVerify - START"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  DownloadAndVerify complete."), 1);
  }
}

}  // namespace
}  // namespace cw
