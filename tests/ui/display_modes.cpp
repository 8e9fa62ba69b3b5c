// The 20 ms timer's display state machine: for each display mode and phase state, which status
// line gets the text, which marks show and which mode follows.

#include <QtTest>

#include "dialog_test_support.h"

using namespace cw;

namespace {

std::atomic<int32_t>& Phase(JobContext& job, const QString& name) {
  if (name == "prep") return job.prepState;
  if (name == "store") return job.storeState;
  if (name == "verifyOnly") return job.verifyOnlyState;
  if (name == "verify") return job.verifyState;
  if (name == "restore") return job.restoreState;
  return job.restoreVerifyState;
}

}  // namespace

class DisplayModesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fake_ = std::make_unique<FakePlatform>();
    f_ = std::make_unique<DialogFixture>(*fake_);
    f_->Open();
  }
  void cleanup() {
    f_.reset();
    fake_.reset();
  }

  void oneTick_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("phase");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("restoreOnly");
    QTest::addColumn<int>("nextMode");
    QTest::addColumn<QString>("marks");  // shown marks: "P1", "F1", "P2", "F2"
    QTest::addColumn<int>("line");

    QTest::newRow("0 running") << 0 << "prep" << 1 << 0 << 0 << "" << 1005;
    QTest::newRow("0 failed") << 0 << "prep" << 2 << 0 << 4 << "F1" << 1005;
    QTest::newRow("0 done") << 0 << "prep" << 3 << 0 << 1 << "" << 1005;
    QTest::newRow("0 done, restore only") << 0 << "prep" << 3 << 1 << 4 << "" << 1005;
    QTest::newRow("1 running") << 1 << "store" << 1 << 0 << 1 << "" << 1005;
    QTest::newRow("1 failed") << 1 << "store" << 2 << 0 << 4 << "F1" << 1005;
    QTest::newRow("1 done") << 1 << "store" << 3 << 0 << 3 << "" << 1005;
    QTest::newRow("2 failed shows nothing") << 2 << "verifyOnly" << 2 << 0 << 2 << "" << 1005;
    QTest::newRow("2 done") << 2 << "verifyOnly" << 3 << 0 << 3 << "" << 1005;
    QTest::newRow("3 idle") << 3 << "verify" << 0 << 0 << 3 << "" << 1005;
    QTest::newRow("3 failed") << 3 << "verify" << 2 << 0 << 4 << "F1" << 1005;
    QTest::newRow("3 done") << 3 << "verify" << 3 << 0 << 3 << "P1" << 1005;
    QTest::newRow("4 running") << 4 << "restore" << 1 << 0 << 4 << "" << 1006;
    QTest::newRow("4 failed") << 4 << "restore" << 2 << 0 << 4 << "F2" << 1006;
    QTest::newRow("4 done") << 4 << "restore" << 3 << 0 << 5 << "" << 1006;
    QTest::newRow("5 failed") << 5 << "restoreVerify" << 2 << 0 << 5 << "F2" << 1006;
    QTest::newRow("5 done") << 5 << "restoreVerify" << 3 << 0 << 5 << "P2" << 1006;
    QTest::newRow("idle") << 255 << "prep" << 3 << 0 << 255 << "" << 1005;
  }

  void oneTick() {
    QFETCH(int, mode);
    QFETCH(QString, phase);
    QFETCH(int, state);
    QFETCH(int, restoreOnly);
    QFETCH(int, nextMode);
    QFETCH(QString, marks);
    QFETCH(int, line);

    JobContext& job = f_->dlg->job();
    job.jobRunning = 1;
    f_->dlg->SetDisplayMode(static_cast<DisplayMode>(mode));
    f_->dlg->settings().restoreOnly = restoreOnly != 0;
    Phase(job, phase) = state;
    job.statusText.Set("Checking files...");
    f_->dlg->OnTimer();

    QCOMPARE(static_cast<int>(f_->dlg->displayMode()), nextMode);
    FakeDialogView& view = f_->view;
    QCOMPARE(view.GetText(line), std::string("Checking files..."));
    QVERIFY(view.GetText(line == 1005 ? 1006 : 1005).empty());
    QCOMPARE(view.Shown(kIdPassMark1), marks.contains("P1"));
    QCOMPARE(view.Shown(kIdFailMark1Left), marks.contains("F1"));
    QCOMPARE(view.Shown(kIdFailMark1Right), marks.contains("F1"));
    QCOMPARE(view.Shown(kIdPassMark2), marks.contains("P2"));
    QCOMPARE(view.Shown(kIdFailMark2Left), marks.contains("F2"));
    QCOMPARE(view.Shown(kIdFailMark2Right), marks.contains("F2"));
    job.jobRunning = 0;
  }

  // A store job whose verification fails, then restores and verifies the backup.
  void aFailedStoreFollowedByARestore() {
    JobContext& job = f_->dlg->job();
    FakeDialogView& view = f_->view;
    job.jobRunning = 1;
    f_->dlg->SetDisplayMode(DisplayMode::kPreparation);
    auto tick = [&](std::atomic<int32_t>& phase, int32_t state, const char* status) {
      phase = state;
      job.statusText.Set(status);
      f_->dlg->OnTimer();
    };
    tick(job.prepState, kPhaseDone, "Backing up...");
    tick(job.storeState, kPhaseDone, "Storing...");
    tick(job.verifyState, kPhaseFailed, "Verify failed");
    QVERIFY(view.Shown(kIdFailMark1Left) && view.Shown(kIdFailMark1Right));
    QCOMPARE(view.GetText(kIdStatus1), std::string("Verify failed"));
    tick(job.restoreState, kPhaseRunning, "Restoring...");
    QCOMPARE(view.GetText(kIdStatus2), std::string("Restoring..."));
    QCOMPARE(view.GetText(kIdStatus1), std::string("Verify failed"));
    tick(job.restoreState, kPhaseDone, "Restored");
    tick(job.restoreVerifyState, kPhaseDone, "Backup verified");
    QVERIFY(view.Shown(kIdPassMark2));
    QVERIFY(!view.Shown(kIdPassMark1));
    QCOMPARE(f_->dlg->displayMode(), DisplayMode::kRestoreVerification);

    job.jobRunning = 0;
    f_->dlg->OnTimer();  // the job ended: the last state stays on show
    QVERIFY(view.Shown(kIdPassMark2) && view.Shown(kIdFailMark1Left));
    QCOMPARE(f_->dlg->displayMode(), DisplayMode::kRestoreVerification);
  }

  // "Restore Only": straight from mode 0 to mode 4; line 1 never shows a pass mark.
  void aRestoreOnlyJob() {
    JobContext& job = f_->dlg->job();
    job.jobRunning = 1;
    f_->dlg->SetDisplayMode(DisplayMode::kPreparation);
    f_->dlg->settings().restoreOnly = true;
    job.prepState = kPhaseDone;
    f_->dlg->OnTimer();
    QCOMPARE(f_->dlg->displayMode(), DisplayMode::kRestore);
    job.restoreState = kPhaseDone;
    f_->dlg->OnTimer();
    job.restoreVerifyState = kPhaseDone;
    f_->dlg->OnTimer();
    QVERIFY(f_->view.Shown(kIdPassMark2));
    QVERIFY(!f_->view.Shown(kIdPassMark1));
    job.jobRunning = 0;
  }

 private:
  std::unique_ptr<FakePlatform> fake_;
  std::unique_ptr<DialogFixture> f_;
};

QTEST_APPLESS_MAIN(DisplayModesTest)
#include "display_modes.moc"
