// The main dialog's logic without a display: start-up, the refusals before a job, starting and
// ending a job, the card and package boxes, "Browse...", "Advanced" and closing.

#include <QtTest>

#include <thread>

#include "dialog_test_support.h"
#include "session/front_end.h"
#include "package/package_writer.h"

using namespace cw;

class DialogLogicTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fake_ = std::make_unique<FakePlatform>();
    fake().AddDrive('E', DriveType::Removable, "FAT", 64u << 20);
    f_ = std::make_unique<DialogFixture>(fake());
  }
  void cleanup() {
    f_.reset();
    fake_.reset();
  }

  void startUpWithoutLastPathFindsAPackageInTheProgramFolder() {
    fake().WriteFile("C:\\WORK\\Unit.fwp", "package");
    fake().AddFolder("C:\\WORK\\OLD.FWP");
    CCardwrightDlg& dlg = f_->Open();
    QCOMPARE(f_->view.title, std::string("Ver. 1.061 - Quorvane FWP File Downloader and Verifier"));
    QCOMPARE(f_->view.GetText(kIdPackageBox), std::string("C:\\WORK\\UNIT.FWP"));
    // Filling the box ran its change handler.
    QCOMPARE(dlg.packagePath(), std::string("C:\\WORK\\UNIT.FWP"));
    QVERIFY(f_->Logged("  fwp file changed to C:\\WORK\\UNIT.FWP"));
    QCOMPARE(dlg.dataPath(), std::string("C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE"));
    QVERIFY(f_->Logged("FWP Downloader v 1061 beginning execution."));
    QVERIFY(f_->Logged("Rootpath: C:\\WORK"));
    QVERIFY(f_->Logged("Datapath: C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE"));
    QVERIFY(f_->Logged("  did not locate previous or local last path, searching."));
    QCOMPARE(dlg.displayMode(), DisplayMode::kNoJob);
    QCOMPARE(dlg.timerId(), 0);
    QCOMPARE(dlg.job().jobRunning.load(), 0);
    QVERIFY(!f_->view.Shown(kIdPassMark1));
    QCOMPARE(f_->prompt.Count(), size_t{0});
    // The tree holds the card drive.
    QCOMPARE(f_->tree.ChildLabels(nullptr), (std::vector<std::string>{"E:"}));
  }

  void startUpRestoresTheFirstLineOfLastPathUsed() {
    fake().WriteFile("C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE\\LastPathUsed.txt",
                     "D:\\PKG\\A.FWP\r\nD:\\OTHER.FWP");
    fake().WriteFile("C:\\WORK\\UNIT.FWP", "package");  // not searched for
    CCardwrightDlg& dlg = f_->Open();
    QCOMPARE(f_->view.GetText(kIdPackageBox), std::string("D:\\PKG\\A.FWP"));
    QCOMPARE(dlg.packagePath(), std::string("D:\\PKG\\A.FWP"));
    QVERIFY(f_->Logged("  located."));
  }

  void startUpShowsTheVersionsOfTheLastPackage() {
    fake().WriteFile("C:\\PKGS\\R2.FWP",
                     BuildPackage(PackageSpec{.engineVersion = 2, .engineRevision = 15,
                                              .engineLetter = 'B', .panelVersion = 10,
                                              .panelRevision = 3}));
    fake().WriteFile("C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE\\LastPathUsed.txt",
                     "C:\\PKGS\\R2.FWP");
    CCardwrightDlg& dlg = f_->Open();
    QCOMPARE(f_->view.GetText(kIdEngineVersion), std::string("Engine Software Version: 2.015B"));
    QCOMPARE(f_->view.GetText(kIdPanelVersion), std::string("Panel Software Version: 10.003"));
    QCOMPARE(dlg.versions().fwpVersion, 1009);
    QVERIFY(f_->Logged("GetFWPVerRev"));
  }

  void aMissingLastPackageIsReportedAndStillPutInTheBox() {
    fake().WriteFile("C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE\\LastPathUsed.txt",
                     "C:\\PKGS\\GONE.FWP");
    f_->Open();
    QCOMPARE(f_->prompt.messages(),
             (std::vector<std::string>{"FWP file could not be opened!\r\nC:\\PKGS\\GONE.FWP"}));
    QCOMPARE(f_->view.GetText(kIdPackageBox), std::string("C:\\PKGS\\GONE.FWP"));
    QVERIFY(f_->view.GetText(kIdEngineVersion).empty());
  }

  void aBrowsedPackageOfFormat1010IsRefusedAtStore() {
    fake().WriteFile("C:\\PKGS\\NEW.FWP",
                     BuildPackage(PackageSpec{.formatRevision = 10, .engineVersion = 3}));
    CCardwrightDlg& dlg = f_->Open();
    f_->view.fileChoices.push_back(std::string("C:\\PKGS\\NEW.FWP"));
    dlg.OnBrowseCrcFile();
    QCOMPARE(dlg.versions().fwpVersion, 1010);
    QCOMPARE(f_->view.GetText(kIdEngineVersion), std::string("Engine Software Version: 3.000"));
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnDownloadAndVerify();
    QVERIFY(f_->prompt.Contains("FWP Downloader and FWP file are incompatible."));
    QCOMPARE(f_->store.runs.load(), 0);
  }

  void startUpWithoutADocumentsFolderUsesTheTemporaryFolder() {
    fake().SetDocumentsFolder("");
    CCardwrightDlg& dlg = f_->Open();
    QVERIFY(f_->prompt.Contains("The downloader failed it's SHGetFolderPath call.  Bad news."));
    QCOMPARE(dlg.dataPath(), std::string("C:\\TEMP\\"));
    QVERIFY(f_->view.GetText(kIdPackageBox).empty());
  }

  void storeWithAnEmptyCardPathIsRefused() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdPackageBox] = "C:\\PKG\\A.FWP";
    dlg.OnDownloadAndVerify();
    QCOMPARE(f_->prompt.messages(), (std::vector<std::string>{"Please choose a valid drive."}));
    QVERIFY(f_->Logged("  no CF drive selected."));
    QCOMPARE(f_->store.runs.load(), 0);
    QVERIFY(f_->view.timerRequests.empty());
    QVERIFY(f_->view.Enabled(kIdStore));
    QVERIFY(!fake().Exists(f_->DataPath() + "\\LastPathUsed.txt"));
    QVERIFY(!dlg.jobActive());
  }

  void verifyWithAnEmptyCardPathIsRefused() {
    CCardwrightDlg& dlg = f_->Open();
    dlg.OnVerify();
    QCOMPARE(f_->prompt.messages(), (std::vector<std::string>{"Please choose a valid drive."}));
    QCOMPARE(f_->verify.runs.load(), 0);
  }

  void aPackageNewerThanFormat1009IsRefused() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdPackageBox] = "C:\\PKG\\NEW.FWP";
    f_->view.texts[kIdCardBox] = "E:";
    fake().WriteFile("C:\\PKG\\NEW.FWP", BuildPackage(PackageSpec{.formatRevision = 10}));
    dlg.OnDownloadAndVerify();
    QVERIFY(f_->prompt.Contains("FWP Downloader and FWP file are incompatible. Please download "
                                "the latest version of the downloader."));
    QVERIFY(f_->Logged(" incompatible issue: fwp version is 1010, max fwp version: 1009"));
    QCOMPARE(f_->store.runs.load(), 0);
    QVERIFY(!fake().Exists(f_->DataPath() + "\\LastPathUsed.txt"));

    fake().WriteFile("C:\\PKG\\NEW.FWP", BuildPackage(PackageSpec{.formatRevision = 9}));
    dlg.OnDownloadAndVerify();
    f_->store.WaitUntilFinished();
    QCOMPARE(f_->store.runs.load(), 1);
    QCOMPARE(fake().ReadFile(f_->DataPath() + "\\LastPathUsed.txt"), std::string("C:\\PKG\\NEW.FWP"));
    dlg.OnTimer();
  }

  void aStoreJobStartsWithItsValuesAndEndsOnTheTimer() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.visible[kIdFailMark2Left] = true;  // left from an earlier job
    f_->view.texts[kIdStatus2] = "Restore failed";
    f_->view.texts[kIdPackageBox] = "C:\\PKG\\A.FWP";
    f_->view.texts[kIdCardBox] = "E:";
    f_->store.holdUntilReleased = true;
    f_->store.body = [](JobContext* job) { job->diagnosticsText.Append("Done!\r\n"); };
    dlg.settings().restoreOnly = true;
    dlg.OnDownloadAndVerify();

    JobContext& job = dlg.job();
    QVERIFY(dlg.jobActive());
    QCOMPARE(dlg.displayMode(), DisplayMode::kPreparation);
    QCOMPARE(job.prepState.load(), int32_t{kPhaseRunning});
    QCOMPARE(f_->view.timerRequests, (std::vector<std::pair<int, int>>{{999, 20}}));
    QCOMPARE(dlg.timerId(), f_->view.runningTimers.at(0));
    for (int id : {kIdBrowse, kIdStore, kIdVerify, kIdAdvanced, kIdPackageBox, kIdCardBox})
      QVERIFY(!f_->view.Enabled(id));
    QVERIFY(!f_->view.Shown(kIdFailMark2Left));
    QVERIFY(f_->view.GetText(kIdStatus2).empty());

    dlg.OnTimer();  // still running: nothing ends
    QVERIFY(dlg.jobActive());
    QCOMPARE(f_->view.runningTimers.size(), size_t{1});

    f_->store.Release();
    f_->store.WaitUntilFinished();
    QCOMPARE(f_->store.requestSeen.cardPath, std::string("E:"));
    QCOMPARE(f_->store.requestSeen.packagePath, std::string("C:\\PKG\\A.FWP"));
    QVERIFY(f_->store.requestSeen.backup.restoreOnly);
    dlg.OnTimer();
    QVERIFY(!dlg.jobActive());
    QVERIFY(f_->view.runningTimers.empty());
    QCOMPARE(dlg.timerId(), 0);
    for (int id : {kIdBrowse, kIdStore, kIdVerify, kIdAdvanced, kIdPackageBox, kIdCardBox})
      QVERIFY(f_->view.Enabled(id));
    QCOMPARE(fake().ReadFile(f_->DataPath() + "\\DownloadDiagnostics.txt"), std::string("Done!\r\n"));
  }

  // The marks a job ends with are its result's, also where the timer never saw the phases.
  void theJobsResultSettlesTheMarks() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdPackageBox] = "C:\\PKG\\A.FWP";
    f_->view.texts[kIdCardBox] = "E:";
    f_->store.result = JobResult{.outcome = JobOutcome::kFailed,
                                 .check = Verdict::kFailed,
                                 .restore = Verdict::kPassed};
    dlg.OnDownloadAndVerify();
    f_->store.WaitUntilFinished();
    dlg.OnTimer();
    QVERIFY(!dlg.jobActive());
    QVERIFY(f_->view.Shown(kIdFailMark1Left) && f_->view.Shown(kIdFailMark1Right));
    QVERIFY(f_->view.Shown(kIdPassMark2));
    QVERIFY(!f_->view.Shown(kIdPassMark1));
    QVERIFY(!f_->view.Shown(kIdFailMark2Left));
  }

  void aVerifyJobWithoutAPackageUsesTheCardsReference() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdPackageBox] = "";
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnVerify();
    f_->verify.WaitUntilFinished();
    QCOMPARE(dlg.displayMode(), DisplayMode::kVerifyOnly);
    QVERIFY(f_->verify.requestSeen.packagePath.empty());
    QCOMPARE(dlg.job().verifyOnlyState.load(), int32_t{kPhaseRunning});
    QCOMPARE(f_->verify.runs.load(), 1);
    QCOMPARE(f_->store.runs.load(), 0);
    QVERIFY(!fake().Exists(f_->DataPath() + "\\LastPathUsed.txt"));
    dlg.OnTimer();
    QVERIFY(!dlg.jobActive());
  }

  void theTimerAppliesA16BitRangeAndThePosition() {
    CCardwrightDlg& dlg = f_->Open();
    JobContext& job = dlg.job();
    job.jobRunning = 1;
    dlg.SetDisplayMode(DisplayMode::kVerifyOnly);
    job.progressMin = 0;
    job.progressMax = 70000;
    job.progressPos = 12;
    job.progressRangeChanged = 1;
    dlg.OnTimer();
    QCOMPARE(f_->view.rangeMax, 70000 & 0xFFFF);
    QCOMPARE(f_->view.progressPos, 12);
    QCOMPARE(job.progressRangeChanged.load(), 0);
    f_->view.rangeMax = -1;
    job.progressPos = 13;
    dlg.OnTimer();  // no new range: only the position moves
    QCOMPARE(f_->view.rangeMax, -1);
    QCOMPARE(f_->view.progressPos, 13);
    job.jobRunning = 0;
  }

  void cardDetectionFromTheCardBox() {
    CCardwrightDlg& dlg = f_->Open();
    fake().WriteFile("E:\\BOOT.BMP", "bmp");
    f_->TypeCardPath("E:");
    QVERIFY(dlg.settings().target == TargetChoice::kPanel);
    QCOMPARE(f_->view.GetText(kIdStatus1), std::string("Downloading to a PANEL compact flash"));
    QVERIFY(f_->Logged("  CFpath is E:"));

    fake().WriteFile("E:\\FWP_3950.FWP", "copy");  // both: the engine test wins
    f_->TypeCardPath("E:");
    QVERIFY(dlg.settings().target == TargetChoice::kEngine);
    QCOMPARE(f_->view.GetText(kIdStatus1), std::string("Downloading to an ENGINE compact flash"));

    fake().AddDrive('F', DriveType::Removable, "FAT", 1u << 20);
    fake().WriteFile("F:\\UPGRADE.FWP", "copy");
    f_->view.texts[kIdStatus1] = "unchanged";
    f_->TypeCardPath("F:");
    QVERIFY(dlg.settings().target == TargetChoice::kEngine);
    QCOMPARE(f_->view.GetText(kIdStatus1), std::string("unchanged"));
    QCOMPARE(dlg.cardPath(), std::string("F:"));
  }

  void aHostFolderOfADriveBecomesItsLetter() {
    CCardwrightDlg& dlg = f_->Open();
    const std::string host = fake().DriveHostPath("E:\\");
    f_->TypeCardPath(host + "/");
    QCOMPARE(dlg.cardPath(), std::string("E:"));
    f_->view.texts[kIdStatus1] = "";
    fake().WriteFile("E:\\BOOT.BMP", "bmp");
    f_->TypeCardPath(host);
    QCOMPARE(f_->view.GetText(kIdStatus1), std::string("Downloading to a PANEL compact flash"));
    // At the start of a job too.
    f_->view.texts[kIdCardBox] = host;
    dlg.OnVerify();
    f_->verify.WaitUntilFinished();
    QCOMPARE(f_->verify.requestSeen.cardPath, std::string("E:"));
    dlg.OnTimer();
  }

  void aTreeSelectionFillsTheCardBox() {
    fake().AddFolder("E:\\DATA");
    fake().WriteFile("E:\\DATA\\BOOT.BMP", "bmp");
    CCardwrightDlg& dlg = f_->Open();
    dlg.tree().OnItemExpanded(f_->tree.Find("E:"), true);
    dlg.OnSelchangedTree2(f_->tree.Find("E:\\DATA"));
    QCOMPARE(f_->view.GetText(kIdCardBox), std::string("E:\\DATA"));
    QCOMPARE(dlg.cardPath(), std::string("E:\\DATA"));
    QVERIFY(dlg.settings().target == TargetChoice::kPanel);
  }

  void theTreeAndCardBoxCannotChangeARunningJob() {
    fake().AddDrive('F', DriveType::Removable, "FAT", 1u << 20);
    fake().WriteFile("F:\\FWP_3950.FWP", "copy");
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdCardBox] = "E:";
    f_->verify.holdUntilReleased = true;
    dlg.OnVerify();
    dlg.OnSelchangedTree2(f_->tree.Find("F:"));
    f_->TypeCardPath("F:");
    QCOMPARE(dlg.cardPath(), std::string("E:"));
    // A second start while the first runs does nothing.
    dlg.OnDownloadAndVerify();
    QCOMPARE(f_->store.runs.load(), 0);

    f_->verify.Release();
    f_->verify.WaitUntilFinished();
    dlg.OnTimer();
    dlg.OnSelchangedTree2(f_->tree.Find("F:"));
    QCOMPARE(dlg.cardPath(), std::string("F:"));
    QVERIFY(dlg.settings().target == TargetChoice::kEngine);
  }

  void browseRefusesANameWithoutAFolder() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdPackageBox] = "NOSUCH.FWP";
    dlg.OnChangeEditCrcDataFile();
    dlg.OnBrowseCrcFile();
    QCOMPARE(f_->prompt.messages(), (std::vector<std::string>{"FWP Filename in edit box is not valid."}));
    QVERIFY(f_->view.fileDialogs.empty());
  }

  void browseOpensInTheFolderOfAMissingPackageAndReadsTheChoice() {
    fake().AddFolder("C:\\PKGS");
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdPackageBox] = "C:\\PKGS\\GONE.FWP";
    dlg.OnChangeEditCrcDataFile();
    f_->view.fileChoices.push_back(std::nullopt);  // cancelled
    dlg.OnBrowseCrcFile();
    QCOMPARE(f_->view.fileDialogs.size(), size_t{1});
    QCOMPARE(f_->view.fileDialogs[0].first, std::string("Select FWP Data File"));
    QCOMPARE(f_->view.fileDialogs[0].second, fake().ToHostPath("C:\\PKGS\\*.FWP"));
    QCOMPARE(f_->view.GetText(kIdPackageBox), std::string("C:\\PKGS\\GONE.FWP"));

    f_->view.fileChoices.push_back(std::string("/data/NEW.FWP"));
    dlg.OnBrowseCrcFile();
    QCOMPARE(f_->view.GetText(kIdPackageBox), std::string("/data/NEW.FWP"));
    QCOMPARE(dlg.packagePath(), std::string("/data/NEW.FWP"));
    QVERIFY(f_->Logged("  using /data/NEW.FWP"));
  }

  void advancedShowsTheChosenTarget() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdStatus1] = "before";
    dlg.OnAdvanced();  // closed without a choice
    QCOMPARE(f_->view.GetText(kIdStatus1), std::string("before"));
    f_->view.advanced = [](AdvancedSettings& s) { s.target = TargetChoice::kPanel; };
    dlg.OnAdvanced();
    QCOMPARE(f_->view.GetText(kIdStatus1), std::string("Downloading to a PANEL compact flash"));
    f_->view.advanced = [](AdvancedSettings& s) { s.target = TargetChoice::kEngine; };
    dlg.OnAdvanced();
    QCOMPARE(f_->view.GetText(kIdStatus1), std::string("Downloading to an ENGINE compact flash"));
    QCOMPARE(f_->view.advancedRuns, 3);
  }

  // Closing never sleeps on the window's thread: the window stays live, its timer follows
  // the stopping job, and a job that will not stop ends the program after 10 s of ticks.
  void closingWhenTheWorkerNeverStopsEndsTheProcessAfterTenSecondsOfTicks() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdCardBox] = "E:";
    f_->verify.holdUntilReleased = true;
    dlg.OnVerify();
    const size_t sleepsBefore = fake().SleepCount();
    QVERIFY(!dlg.OnClose());
    QVERIFY(!dlg.OnEscape());  // a second request changes nothing
    QCOMPARE(fake().SleepCount(), sleepsBefore);
    QCOMPARE(dlg.job().stopRequested.load(), 1);
    QVERIFY(dlg.closing());
    QCOMPARE(f_->view.runningTimers.size(), size_t{1});
    for (int tick = 0; tick < 499; ++tick) dlg.OnTimer();
    QCOMPARE(f_->endProcessCalls, 0);
    QCOMPARE(f_->view.GetText(kIdStatus1),
             std::string("Stopping the job; the window closes when it has ended."));
    dlg.OnTimer();
    QCOMPARE(f_->endProcessCalls, 1);
    QVERIFY(f_->Logged("  the job did not stop within 10 s; ending the program."));
    // The transcript was saved before the end.
    QVERIFY(fake().Exists(f_->DataPath() + "\\DownloadDiagnostics.txt"));
    QCOMPARE(f_->view.closeRequests, 0);
    f_->verify.Release();
    f_->verify.WaitUntilFinished();
  }

  // A job that may have changed the card is waited for, restore included, however long.
  void closingWhileTheCardMayHaveChangedWaitsForTheJob() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdCardBox] = "E:";
    f_->verify.holdUntilReleased = true;
    f_->verify.body = [](JobContext* job) { job->cardMayHaveChanged = 1; };
    dlg.OnVerify();
    QVERIFY(!dlg.OnClose());
    while (dlg.job().cardMayHaveChanged == 0) QThread::yieldCurrentThread();
    for (int tick = 0; tick < 2000; ++tick) dlg.OnTimer();
    QCOMPARE(f_->endProcessCalls, 0);
    f_->verify.Release();
    f_->verify.WaitUntilFinished();
    dlg.OnTimer();
    // The job ended: transcript saved, then the window is closed.
    QCOMPARE(f_->view.closeRequests, 1);
    QVERIFY(!dlg.jobActive());
    QVERIFY(dlg.OnClose());
    QVERIFY(fake().Exists(f_->DataPath() + "\\DownloadDiagnostics.txt"));
    QVERIFY(f_->Logged("  the job has ended; the window closes."));
  }

  // Tearing the window down (an application quit, a log-off) is no way around that rule: the
  // destructor waits past its 10 s for a job that may have changed the card, and ends nothing.
  void tearingTheWindowDownWhileTheCardMayHaveChangedWaitsForTheJob() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdCardBox] = "E:";
    f_->verify.holdUntilReleased = true;
    f_->verify.body = [](JobContext* job) { job->cardMayHaveChanged = 1; };
    dlg.OnVerify();
    while (dlg.job().cardMayHaveChanged == 0) QThread::yieldCurrentThread();
    const std::string logPath = f_->DataPath() + "\\fwp_downloader.log";
    const std::string waiting =
        "  the window was torn down while the card may have changed: waiting for the job.";
    // Released only once the teardown has said it waits: a teardown that ended the program
    // instead, or returned before the job's end, fails here.
    std::thread releaser([&] {
      while (fake().ReadFile(logPath).find(waiting) == std::string::npos)
        QThread::yieldCurrentThread();
      f_->verify.Release();
    });
    f_->dlg.reset();
    releaser.join();
    QCOMPARE(f_->endProcessCalls, 0);
    QCOMPARE(f_->verify.runs.load(), 1);
    f_->verify.WaitUntilFinished();
  }

  void closingAfterTheJobEndedNeitherWaitsNorEndsTheProcess() {
    CCardwrightDlg& dlg = f_->Open();
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnVerify();
    f_->verify.WaitUntilFinished();
    dlg.OnTimer();
    const size_t sleepsBefore = fake().SleepCount();
    QVERIFY(dlg.OnEscape());
    QCOMPARE(fake().SleepCount(), sleepsBefore);
    QCOMPARE(f_->endProcessCalls, 0);
    QVERIFY(!dlg.jobActive());
    QCOMPARE(f_->view.closeRequests, 0);
  }

  // A typed package path has its version block read before the store starts.
  void aTypedPackagePathHasItsVersionsReadBeforeTheStore() {
    PackageSpec spec;
    spec.formatRevision = 8;
    spec.engineVersion = 4;
    spec.engineRevision = 2;
    fake().WriteFile("C:\\PKG\\TYPED.FWP", BuildPackage(spec));
    CCardwrightDlg& dlg = f_->Open();
    dlg.versions().versionBlock = {1, 5, 'Z', 0, 0, 0};  // what an earlier package left
    dlg.versions().fwpVersion = 1005;
    f_->view.texts[kIdPackageBox] = "C:\\PKG\\TYPED.FWP";
    dlg.OnChangeEditCrcDataFile();
    f_->view.texts[kIdCardBox] = "E:";
    dlg.OnDownloadAndVerify();
    f_->store.WaitUntilFinished();
    QCOMPARE(dlg.versions().fwpVersion, 1008);
    QCOMPARE(dlg.versions().versionBlock.formatRevision, 8);
    QCOMPARE(f_->view.GetText(kIdEngineVersion), std::string("Engine Software Version: 4.002"));
    QVERIFY(f_->Logged("  the package path was typed: reading its version block."));
  }

 private:
  FakePlatform& fake() { return *fake_; }
  std::unique_ptr<FakePlatform> fake_;
  std::unique_ptr<DialogFixture> f_;
};

QTEST_APPLESS_MAIN(DialogLogicTest)
#include "dialog_logic.moc"
