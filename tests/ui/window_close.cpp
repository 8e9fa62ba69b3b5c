// Closing the Qt window while its job waits on a question: the question is answered Cancel,
// the window stays live and says the job is stopping, and closes once the job has ended with
// its transcript saved; the program is never ended under the job.

#include <QtTest>

#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <thread>

#include "record/job_io.h"
#include "support/fake_platform.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/end_requests.h"
#include "ui/qt/main_window.h"
#include "ui/qt/window_prompt.h"

using namespace cw;

// A window on the fake platform whose jobs are all `worker`, shown, with "E:" as its card;
// forcedEnds counts the ends of the program it asks for.
struct ShownWindow {
  ShownWindow(FakePlatform& fake, const JobWorker& worker)
      : window(fake, prompt, JobWorkers{worker, worker}) {
    prompt.SetWindow(&window);
    window.logic().SetEndProcess([this] { ++forcedEnds; });
    window.show();
    window.findChild<QLineEdit*>(ControlName(kIdCardBox))->setText("E:");
  }
  WindowPrompt prompt;
  CardwrightWindow window;
  int forcedEnds = 0;
};

class WindowCloseTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fake_ = std::make_unique<FakePlatform>();
    fake_->AddDrive('E', DriveType::Removable, "FAT", 64u << 20);
  }
  void cleanup() { fake_.reset(); }

  void closingWithAQuestionOpenAnswersItCancelAndClosesWhenTheJobEnds() {
    std::atomic<int> answer{0};
    std::atomic<bool> stopSeen{false};
    // A job that asks the store's question, then runs until it is asked to stop.
    auto store = [&](JobContext* job) {
      answer = static_cast<int>(job->prompt->MessageBox("All files will be replaced with new ones.",
                                                        MessageButtons::OkCancel,
                                                        MessageIcon::None));
      while (job->stopRequested == 0) std::this_thread::yield();
      stopSeen = true;
      job->diagnosticsText.Append("stopped\r\n");
      job->jobRunning = 0;
      return JobResult{.outcome = JobOutcome::kStopped};
    };
    ShownWindow shown(*fake_, store);
    CardwrightWindow& w = shown.window;
    WindowPrompt& prompt = shown.prompt;
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // The question is modal and runs its own loop: the close comes from inside it.
    bool questionOpen = false, stillOpenAfterClose = false;
    QString statusAfterClose;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) == nullptr) return;
      watch.stop();
      questionOpen = true;
      w.close();
      stillOpenAfterClose = w.isVisible();
      statusAfterClose = QString::fromStdString(w.GetText(kIdStatus1));
    });
    watch.start(5);
    w.logic().OnDownloadAndVerify();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 30000);

    QVERIFY(questionOpen);
    QVERIFY(stillOpenAfterClose);
    QCOMPARE(statusAfterClose, QString("Stopping the job; the window closes when it has ended."));
    QCOMPARE(answer.load(), static_cast<int>(MessageResult::Cancel));
    QVERIFY(stopSeen);
    QCOMPARE(shown.forcedEnds, 0);
    const std::string saved =
        fake_->ReadFile(w.logic().dataPath() + "\\DownloadDiagnostics.txt");
    QVERIFY(saved.find("stopped") != std::string::npos);
    // A question asked after the close is answered at once, without a box.
    QVERIFY(prompt.MessageBox("later", MessageButtons::OkCancel, MessageIcon::None) ==
            MessageResult::Cancel);
  }

  // Esc during a job asks first: Cancel leaves the job running and the window open, OK stops
  // the job as the close box does (the window closes once it has ended).
  void escDuringAJobAsksBeforeStopping() {
    auto store = [](JobContext* job) {
      while (job->stopRequested == 0) std::this_thread::yield();
      job->jobRunning = 0;
      return JobResult{.outcome = JobOutcome::kStopped};
    };
    ShownWindow shown(*fake_, store);
    CardwrightWindow& w = shown.window;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.logic().OnDownloadAndVerify();
    QString asked;
    for (QMessageBox::StandardButton answer : {QMessageBox::Cancel, QMessageBox::Ok}) {
      asked.clear();
      QTimer::singleShot(0, &w, [&asked, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        asked = box->text();
        box->done(answer);
      });
      QTest::keyClick(&w, Qt::Key_Escape);
      QCOMPARE(asked, QString("A job is running. Stop it and close the window?\n"
                              "A card that has begun to change is put back first."));
      QCOMPARE(w.logic().closing(), answer == QMessageBox::Ok);
      QCOMPARE(w.logic().job().stopRequested.load(), answer == QMessageBox::Ok ? 1 : 0);
      QVERIFY(w.isVisible());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 30000);
    QCOMPARE(shown.forcedEnds, 0);
  }

  // A log-off's SIGTERM, a closed terminal's SIGHUP: the window closes as by its close box,
  // so a job that may have changed the card is stopped and waited for, and the process lives on
  // until it has ended.
  void anEndSignalClosesTheWindowOnlyAfterTheJobHasEnded() {
    for (int signal : {SIGTERM, SIGHUP}) {
      std::atomic<bool> release{false};
      auto store = [&](JobContext* job) {
        job->cardMayHaveChanged = 1;
        while (job->stopRequested == 0 || !release) std::this_thread::yield();
        job->jobRunning = 0;
        return JobResult{.outcome = JobOutcome::kStopped};
      };
      ShownWindow shown(*fake_, store);
      CardwrightWindow& w = shown.window;
      EndRequests ends([&w] {
        w.close();
        return !w.isVisible();
      });
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      w.logic().OnDownloadAndVerify();
      QTRY_VERIFY(w.logic().job().cardMayHaveChanged != 0);
      std::raise(signal);
      QTRY_COMPARE(w.logic().job().stopRequested.load(), 1);
      QVERIFY(w.isVisible());
      QCOMPARE(QString::fromStdString(w.GetText(kIdStatus1)),
               QString("Stopping the job; the window closes when it has ended."));
      release = true;
      QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 30000);
      QCOMPARE(shown.forcedEnds, 0);
    }
  }

 private:
  std::unique_ptr<FakePlatform> fake_;
};

QTEST_MAIN(WindowCloseTest)
#include "window_close.moc"
