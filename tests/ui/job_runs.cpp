// Whole jobs started from the dialog, run by the real job code on the in-memory platform, and
// followed by the timer tick by tick until the dialog is idle again.

#include <QtTest>

#include <condition_variable>
#include <mutex>

#include "dialog_test_support.h"
#include "job/jobs.h"
#include "support/package_builder.h"
#include "rules/bhelper.h"

using namespace cw;

namespace {

const char kPackage[] = "C:\\WORK\\PACKAGE.FWP";
const char kLastPath[] = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE\\LastPathUsed.txt";

// Every sleep of the worker lasts two timer ticks, so the timer sees each phase state the job
// holds for a moment, as the real 50 ms waits let the 20 ms timer see it.
class LockstepPlatform : public FakePlatform {
 public:
  void Sleep(uint32_t milliseconds) override {
    FakePlatform::Sleep(milliseconds);
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t until = ticks_ + 2;
    ticked_.wait(lock, [&] { return ticks_ >= until; });
  }
  void Tick() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++ticks_;
    }
    ticked_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ticked_;
  uint64_t ticks_ = 0;
};

}  // namespace

class JobRunsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    platform_ = std::make_unique<LockstepPlatform>();
    platform_->AddDrive('E', DriveType::Removable, "FAT16", 64ull << 20);
    f_ = std::make_unique<DialogFixture>(*platform_);
  }
  void cleanup() {
    f_.reset();
    platform_.reset();
  }

  void aVerifyOnlyJobThatPassesShowsThePassMark() {
    LayEngineCard();
    CCardwrightDlg& dlg = OpenWithRealJobs();
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnVerify();
    RunTimerUntilIdle();
    QVERIFY(f_->view.Shown(kIdPassMark1));
    QVERIFY(!f_->view.Shown(kIdFailMark1Left));
    QCOMPARE(dlg.displayMode(), DisplayMode::kVerification);
    QCOMPARE(f_->prompt.Count(), size_t{0});
    QVERIFY(f_->view.Enabled(kIdVerify));
    // The transcript of the run was saved when the timer saw the end.
    const std::string saved = platform_->ReadFile(f_->DataPath() + "\\DownloadDiagnostics.txt");
    QVERIFY(!saved.empty());
    QCOMPARE(saved, dlg.job().diagnosticsText.Get());
    QVERIFY(f_->Logged("VerifyOnly"));
  }

  void aVerifyOnlyJobThatFindsAChangedFileShowsTheFailMarks() {
    LayEngineCard();
    platform_->WriteFile("E:\\APP\\MAIN.BIN", "engine program, damaged");
    CCardwrightDlg& dlg = OpenWithRealJobs();
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnVerify();
    RunTimerUntilIdle();
    QVERIFY(f_->view.Shown(kIdFailMark1Left) && f_->view.Shown(kIdFailMark1Right));
    QVERIFY(!f_->view.Shown(kIdPassMark1));
    QVERIFY(!f_->view.Shown(kIdPassMark2) && !f_->view.Shown(kIdFailMark2Left));
    QVERIFY(f_->prompt.Contains("E:\\APP\\MAIN.BIN"));
  }

  void aStoreJobThatPassesShowsThePassMarkOnLineOne() {
    LayOldEngineCard();
    PutPackage("new main");
    CCardwrightDlg& dlg = OpenWithRealJobs();
    QCOMPARE(dlg.versions().fwpVersion, 1009);  // read from the package at start-up
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnDownloadAndVerify();
    RunTimerUntilIdle();
    QVERIFY(f_->view.Shown(kIdPassMark1));
    for (int id : {kIdFailMark1Left, kIdPassMark2, kIdFailMark2Left})
      QVERIFY(!f_->view.Shown(id));
    QCOMPARE(dlg.displayMode(), DisplayMode::kVerification);
    QCOMPARE(platform_->ReadFile("E:\\APP\\MAIN.BIN"), std::string("new main"));
    QVERIFY(platform_->Exists("E:\\FWP_INFO_FILE.TXT"));
    QCOMPARE(platform_->ReadFile(kLastPath), std::string(kPackage));
    // The operator was asked once, and the answer (OK) went on.
    QCOMPARE(f_->prompt.Count("All files will be replaced"), size_t{1});
  }

  void aStoreJobWhoseVerificationFailsShowsTheRestoreOnLineTwo() {
    LayOldEngineCard();
    PutPackage("new main");
    // The first read of the new file is verification's.
    platform_->FailCall("Read", kErrIoDevice, 1, "E:\\APP\\MAIN.BIN");
    CCardwrightDlg& dlg = OpenWithRealJobs();
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnDownloadAndVerify();
    RunTimerUntilIdle();
    QVERIFY(f_->view.Shown(kIdFailMark1Left) && f_->view.Shown(kIdFailMark1Right));
    QVERIFY(!f_->view.Shown(kIdPassMark1));
    QVERIFY(f_->view.Shown(kIdPassMark2));
    QVERIFY(!f_->view.Shown(kIdFailMark2Left));
    QCOMPARE(dlg.displayMode(), DisplayMode::kRestoreVerification);
    QVERIFY(!f_->view.GetText(kIdStatus2).empty());
    QCOMPARE(platform_->ReadFile("E:\\APP\\MAIN.BIN"), std::string("old main"));
  }

  void aVerifyOnlyJobOnAFixedDriveShowsNoMark() {
    platform_->AddDrive('F', DriveType::Fixed, "FAT16", 64ull << 20);
    CCardwrightDlg& dlg = OpenWithRealJobs();
    f_->view.texts[kIdCardBox] = "F:";
    dlg.OnVerify();
    RunTimerUntilIdle();
    QCOMPARE(f_->prompt.messages(),
             (std::vector<std::string>{
                 "Invalid drive type selected.\r\nPlease select a compact flash drive."}));
    for (int id : {kIdPassMark1, kIdFailMark1Left, kIdPassMark2, kIdFailMark2Left})
      QVERIFY(!f_->view.Shown(id));
  }

 private:
  // An engine package and the card programmed from it, with its stored copy.
  void LayEngineCard() {
    PackageSpec spec;
    spec.files = {test::MakeFile(kKindEngine2, "APP\\MAIN.BIN", "engine program"),
                  test::MakeFile(kKindCommon, "CONFIG\\UNITS.TXT", "units")};
    const std::string bytes = BuildPackage(spec);
    platform_->WriteFile(kPackage, bytes);
    platform_->WriteFile(kLastPath, kPackage);
    platform_->WriteFile("E:\\APP\\MAIN.BIN", "engine program");
    platform_->WriteFile("E:\\CONFIG\\UNITS.TXT", "units");
    platform_->WriteFile("E:\\UPGRADE.FWP", bytes);
  }

  // An engine card programmed earlier from an older package.
  void LayOldEngineCard() {
    platform_->WriteFile("E:\\UPGRADE.FWP", BuildPackage(test::EngineRelease("old main")));
    platform_->WriteFile("E:\\APP\\MAIN.BIN", "old main");
    platform_->WriteFile("E:\\NOTES.TXT", "notes");
  }
  // The package to store, remembered as the last one used.
  void PutPackage(const std::string& content) {
    platform_->WriteFile(kPackage, BuildPackage(test::EngineRelease(content)));
    platform_->WriteFile(kLastPath, kPackage);
  }

  CCardwrightDlg& OpenWithRealJobs() {
    f_->dlg = std::make_unique<CCardwrightDlg>(*platform_, f_->view, f_->tree, f_->prompt,
                                               DefaultJobWorkers(*platform_));
    f_->dlg->SetEndProcess([] { qFatal("the process would have ended"); });
    f_->dlg->OnInitDialog();
    return *f_->dlg;
  }

  void RunTimerUntilIdle() {
    while (f_->dlg->jobActive()) {
      f_->dlg->OnTimer();
      platform_->Tick();
      std::this_thread::yield();
    }
  }

  std::unique_ptr<LockstepPlatform> platform_;
  std::unique_ptr<DialogFixture> f_;
};

QTEST_APPLESS_MAIN(JobRunsTest)
#include "job_runs.moc"
