// The Qt window on the offscreen platform: its controls, typing, Enter and Esc, the tree
// widget, a job followed by the real timer, and the prompt asked from a worker thread.

#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <thread>

#include "dialog_test_support.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/dir_tree_widget.h"
#include "ui/qt/main_window.h"
#include "ui/qt/settings_windows.h"
#include "ui/qt/window_prompt.h"

using namespace cw;

class WidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fake_ = std::make_unique<FakePlatform>();
    fake().AddDrive('E', DriveType::Removable, "FAT", 64u << 20);
    fake().AddFolder("E:\\DATA\\SUB");
    fake().WriteFile("E:\\BOOT.BMP", "bmp");
    store_ = std::make_unique<TestWorker>();
    verify_ = std::make_unique<TestWorker>();
  }
  void cleanup() {
    window_.reset();
    store_.reset();
    verify_.reset();
    fake_.reset();
  }

  void controlsCarryTheirIdsCaptionsAndTemplatePositions() {
    CardwrightWindow& w = Open();
    QCOMPARE(w.windowTitle(), QString("Ver. 1.061 - Quorvane FWP File Downloader and Verifier"));
    const DialogUnits du(w.font());
    QCOMPARE(w.size(), du.Size(302, 299));
    QVERIFY(du.baseX() > 0 && du.baseY() > du.baseX());

    auto* store = Find<QPushButton>(kIdStore);
    QCOMPARE(store->text(), QString("Store and Verify"));
    QVERIFY(store->isDefault());
    QCOMPARE(store->geometry(), du.Rect(72, 199, 65, 14));
    QCOMPARE(Find<QPushButton>(kIdBrowse)->text(), QString("Browse..."));
    QCOMPARE(Find<QPushButton>(kIdVerify)->text(), QString("Verify Only"));
    QCOMPARE(Find<QPushButton>(kIdAdvanced)->text(), QString("Advanced"));
    QCOMPARE(Find<QPushButton>(kIdAdvanced)->geometry(), du.Rect(245, 278, 50, 14));
    QVERIFY(!Find<QLineEdit>(kIdPackageBox)->isReadOnly());
    QVERIFY(!Find<QLineEdit>(kIdCardBox)->isReadOnly());
    for (int id : {kIdEngineVersion, kIdPanelVersion}) QVERIFY(Find<QLineEdit>(id)->isReadOnly());
    // The status lines are multi-line, read-only and borderless: a long text wraps in view.
    for (int id : {kIdStatus1, kIdStatus2}) {
      auto* status = Find<QPlainTextEdit>(id);
      QVERIFY(status->isReadOnly());
      QCOMPARE(status->frameShape(), QFrame::NoFrame);
      QCOMPARE(status->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    }
    w.SetText(kIdStatus1, std::string(200, 'x') + " end");
    QCOMPARE(w.GetText(kIdStatus1), std::string(200, 'x') + " end");
    QCOMPARE(Find<QTreeWidget>(kIdTree)->geometry(), du.Rect(72, 108, 132, 50));
    QCOMPARE(Find<QProgressBar>(kIdProgress)->geometry(), du.Rect(74, 245, 127, 11));
    for (int id : {kIdPassMark1, kIdPassMark2, kIdFailMark1Left, kIdFailMark1Right,
                   kIdFailMark2Left, kIdFailMark2Right}) {
      QVERIFY(Find<QLabel>(id)->isHidden());
      QVERIFY(!Find<QLabel>(id)->pixmap().isNull());
    }
    QCOMPARE(Find<QLabel>(139)->text(), QString("Step 1: Choose FWP Data File"));
    QCOMPARE(Find<QLabel>(140)->text(), QString("Step 2: Choose Compact Flash Drive"));
    QCOMPARE(Find<QLabel>(141)->text(), QString("Step 3: Store and/or Verify"));
    // Every label fits its template width.
    for (int id : {139, 140, 141}) {
      auto* label = Find<QLabel>(id);
      QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    }
    QVERIFY(!w.windowIcon().isNull());
  }

  void typingACardPathDetectsAPanelCard() {
    CardwrightWindow& w = Open();
    QTest::keyClicks(Find<QLineEdit>(kIdCardBox), "E:");
    QCOMPARE(Find<QPlainTextEdit>(kIdStatus1)->toPlainText(),
             QString("Downloading to a PANEL compact flash"));
    QVERIFY(w.logic().settings().target == TargetChoice::kPanel);
    QCOMPARE(w.logic().cardPath(), std::string("E:"));
  }

  void enterInAPathBoxPressesStoreAndVerify() {
    CardwrightWindow& w = Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* box = Find<QLineEdit>(kIdPackageBox);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(prompt_.messages(), (std::vector<std::string>{"Please choose a valid drive."}));
  }

  void escEndsTheDialogAfterAskingTheJobToStop() {
    CardwrightWindow& w = Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QCOMPARE(w.logic().job().stopRequested.load(), 1);
  }

  void theTreeExpandsLazilyAndFillsTheCardBox() {
    CardwrightWindow& w = Open();
    DirTreeWidget* tree = w.tree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* drive = tree->topLevelItem(0);
    QCOMPARE(drive->text(0), QString("E:"));
    QCOMPARE(drive->toolTip(0), QString::fromStdString(fake().DriveHostPath("E:\\")));
    QCOMPARE(drive->childCount(), 1);
    QVERIFY(drive->child(0)->text(0).isEmpty());  // the placeholder
    drive->setExpanded(true);
    QCOMPARE(drive->childCount(), 1);
    QCOMPARE(drive->child(0)->text(0), QString("DATA"));
    QVERIFY(!drive->child(0)->icon(0).isNull());
    drive->child(0)->setSelected(true);
    QCOMPARE(Find<QLineEdit>(kIdCardBox)->text(), QString("E:\\DATA"));
    QCOMPARE(tree->FindItem("E:\\DATA"), drive->child(0));
    drive->setExpanded(false);
    QCOMPARE(drive->childCount(), 1);
    QVERIFY(drive->child(0)->text(0).isEmpty());
  }

  // The window's own poll finds cards put in and taken out; the drives that stay keep their
  // expanded folders and the selection, and a drive gone does not choose another card.
  void theTreeFollowsCardsThatComeAndGo() {
    CardwrightWindow& w = Open();
    DirTreeWidget* tree = w.tree();
    QTreeWidgetItem* e = tree->topLevelItem(0);
    e->setExpanded(true);
    e->child(0)->setSelected(true);
    fake().AddDrive('D', DriveType::Removable, "FAT", 64u << 20);
    fake().AddDrive('G', DriveType::Removable, "FAT", 64u << 20);
    fake().AddFolder("G:\\APP");
    QTRY_COMPARE(tree->topLevelItemCount(), 3);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("D:"));
    QCOMPARE(tree->topLevelItem(1), e);
    QCOMPARE(tree->topLevelItem(2)->text(0), QString("G:"));
    QCOMPARE(tree->topLevelItem(2)->childCount(), 1);  // expandable
    QVERIFY(e->isExpanded());
    QCOMPARE(e->child(0)->text(0), QString("DATA"));
    QVERIFY(e->child(0)->isSelected());

    tree->setCurrentItem(tree->topLevelItem(2));
    QCOMPARE(Find<QLineEdit>(kIdCardBox)->text(), QString("G:"));
    fake().RemoveDrive('G');
    QTRY_COMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(Find<QLineEdit>(kIdCardBox)->text(), QString("G:"));
    QVERIFY(e->isExpanded());

    // During a job the tree waits; it follows once the job has ended.
    Find<QLineEdit>(kIdCardBox)->setText("E:");
    verify_->holdUntilReleased = true;
    QTest::mouseClick(Find<QPushButton>(kIdVerify), Qt::LeftButton);
    QVERIFY(w.logic().jobActive());
    fake().RemoveDrive('D');
    w.logic().OnDrivesChanged();
    QCOMPARE(tree->topLevelItemCount(), 2);
    verify_->Release();
    QTRY_VERIFY(!w.logic().jobActive());
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0), e);
  }

  void aJobDisablesTheInputsUntilTheTimerSeesItEnd() {
    CardwrightWindow& w = Open();
    Find<QLineEdit>(kIdCardBox)->setText("E:");
    verify_->holdUntilReleased = true;
    verify_->body = [](JobContext* job) {
      job->statusText.Set("Verifying files...");
      job->verifyOnlyState = kPhaseDone;
      job->verifyState = kPhaseDone;
    };
    QTest::mouseClick(Find<QPushButton>(kIdVerify), Qt::LeftButton);
    for (int id : {kIdBrowse, kIdStore, kIdVerify, kIdAdvanced, kIdPackageBox, kIdCardBox})
      QVERIFY(!w.findChild<QWidget*>(ControlName(id))->isEnabled());
    QVERIFY(w.tree()->isEnabled());
    QTRY_VERIFY(Find<QLabel>(kIdPassMark1)->isVisibleTo(&w));
    QCOMPARE(Find<QPlainTextEdit>(kIdStatus1)->toPlainText(), QString("Verifying files..."));
    QVERIFY(!Find<QPushButton>(kIdVerify)->isEnabled());
    verify_->Release();
    QTRY_VERIFY(Find<QPushButton>(kIdVerify)->isEnabled());
    QVERIFY(Find<QLineEdit>(kIdCardBox)->isEnabled());
    QCOMPARE(w.logic().timerId(), 0);
  }

  // Both settings windows take their sizes and places from the templates' dialog units.
  void settingsWindowsLieWhereTheirTemplatesPutThem() {
    AdvancedSettings settings;
    AdvancedSettingsWindow advanced(settings, nullptr);
    ChoosePanelTypeWindow chooser;
    struct Case {
      QDialog* dialog;
      QSize size;
      int id;
      QRect place;
    };
    for (const Case& c : {Case{&advanced, {199, 105}, kIdOk, {76, 84, 50, 14}},
                          Case{&advanced, {199, 105}, kIdRestoreOnly, {112, 47, 57, 10}},
                          Case{&advanced, {199, 105}, kIdPanel, {29, 44, 34, 10}},
                          Case{&chooser, {174, 86}, kIdOk, {57, 65, 50, 14}},
                          Case{&chooser, {174, 86}, kId3950, {67, 40, 32, 10}}}) {
      const DialogUnits du(c.dialog->font());
      QCOMPARE(c.dialog->size(), du.Size(c.size.width(), c.size.height()));
      auto* control = c.dialog->findChild<QWidget*>(ControlName(c.id));
      QVERIFY2(control != nullptr, qPrintable(QString::number(c.id)));
      QCOMPARE(control->geometry(), du.Rect(c.place.x(), c.place.y(), c.place.width(),
                                            c.place.height()));
    }
  }

  void advancedSettingsFollowTheirRules() {
    AdvancedSettings settings;
    AdvancedSettingsWindow dialog(settings, nullptr);
    auto* backup = dialog.findChild<QAbstractButton*>(ControlName(kIdCreateBackup));
    auto* restore = dialog.findChild<QAbstractButton*>(ControlName(kIdRestoreOnly));
    auto* engine = dialog.findChild<QAbstractButton*>(ControlName(kIdEngine));
    auto* panel = dialog.findChild<QAbstractButton*>(ControlName(kIdPanel));
    QVERIFY(backup && restore && engine && panel);
    QCOMPARE(dialog.windowTitle(), QString("Advanced Settings"));
    QVERIFY(backup->isChecked());
    QVERIFY(!restore->isChecked());
    QVERIFY(!restore->isEnabled());
    QVERIFY(!engine->isChecked() && !panel->isChecked());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTest::mouseClick(restore, Qt::LeftButton);  // disabled: no effect
    QVERIFY(!restore->isChecked());
    QTest::mouseClick(backup, Qt::LeftButton);
    QVERIFY(restore->isEnabled());
    QTest::mouseClick(restore, Qt::LeftButton);
    QVERIFY(restore->isChecked());
    QTest::mouseClick(backup, Qt::LeftButton);  // re-checking clears "Restore Only"
    QVERIFY(!restore->isChecked());
    QVERIFY(!restore->isEnabled());
    QTest::mouseClick(engine, Qt::LeftButton);
    QTest::mouseClick(dialog.findChild<QPushButton*>(ControlName(kIdOk)), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(settings.target == TargetChoice::kEngine);
    QVERIFY(!settings.skipBackup && !settings.restoreOnly);
  }

  void advancedSettingsSaveOnlyOnOk() {
    AdvancedSettings settings{
        .skipBackup = true, .restoreOnly = false, .target = TargetChoice::kPanel};
    {
      AdvancedSettingsWindow dialog(settings, nullptr);
      auto* restore = dialog.findChild<QAbstractButton*>(ControlName(kIdRestoreOnly));
      QVERIFY(restore->isEnabled());
      QVERIFY(dialog.findChild<QAbstractButton*>(ControlName(kIdPanel))->isChecked());
      restore->click();
      dialog.reject();  // Esc or the close box
    }
    QVERIFY(!settings.restoreOnly);
    AdvancedSettingsWindow dialog(settings, nullptr);
    dialog.findChild<QAbstractButton*>(ControlName(kIdRestoreOnly))->click();
    dialog.findChild<QAbstractButton*>(ControlName(kIdOk))->click();
    QVERIFY(settings.restoreOnly && settings.skipBackup);
    QVERIFY(settings.target == TargetChoice::kPanel);
  }

  void advancedFromTheWindowShowsTheTarget() {
    CardwrightWindow& w = Open();
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<AdvancedSettingsWindow*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->findChild<QAbstractButton*>(ControlName(kIdPanel))->click();
      dialog->findChild<QAbstractButton*>(ControlName(kIdOk))->click();
    });
    Find<QPushButton>(kIdAdvanced)->click();
    QVERIFY(w.logic().settings().target == TargetChoice::kPanel);
    QCOMPARE(Find<QPlainTextEdit>(kIdStatus1)->toPlainText(),
             QString("Downloading to a PANEL compact flash"));
  }

  void theChooserGives3940WhenOkIsPressedUntouched() {
    ChoosePanelTypeWindow chooser;
    QCOMPARE(chooser.windowTitle(), QString("Please Choose Panel Type"));
    QVERIFY(chooser.findChild<QAbstractButton*>(ControlName(kId3940))->isChecked());
    QTimer::singleShot(0, &chooser, [&chooser] {
      chooser.findChild<QAbstractButton*>(ControlName(kIdOk))->click();
    });
    int type = 0;
    QCOMPARE(chooser.ChooseModel(&type), int(QDialog::Accepted));
    QCOMPARE(type, 2);
  }

  void theChooserGives3950OrNothing() {
    {
      ChoosePanelTypeWindow chooser;
      QTimer::singleShot(0, &chooser, [&chooser] {
        chooser.findChild<QAbstractButton*>(ControlName(kId3950))->click();
        chooser.findChild<QAbstractButton*>(ControlName(kIdOk))->click();
      });
      int type = 0;
      chooser.ChooseModel(&type);
      QCOMPARE(type, 3);
    }
    ChoosePanelTypeWindow chooser;
    QTimer::singleShot(0, &chooser, [&chooser] { chooser.reject(); });
    int type = 0;
    QCOMPARE(chooser.ChooseModel(&type), int(QDialog::Rejected));
    QCOMPARE(type, 0);
  }

  void aWorkerAsksThroughTheGuiThreadAndWaitsForTheAnswer() {
    WindowPrompt prompt;
    MessageResult answer = MessageResult::Ok;
    int model = -1;
    std::atomic<bool> done{false};
    // The dialogs run their own loops on this thread; the operator's clicks come from a timer
    // that fires inside them.
    QString seenText, seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QTimer operatorHand;
    connect(&operatorHand, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seenText = box->text();
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        box->button(QMessageBox::Cancel)->click();
      } else if (auto* chooser = qobject_cast<ChoosePanelTypeWindow*>(modal)) {
        chooser->findChild<QAbstractButton*>(ControlName(kIdOk))->click();
      }
    });
    operatorHand.start(5);
    std::thread worker([&] {
      answer = prompt.MessageBox("Card removed?\r\nCheck it.", MessageButtons::OkCancel,
                                 MessageIcon::Warning);
      model = prompt.ChooseModel(0);
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCOMPARE(seenTitle, QString("cardwright"));
    QCOMPARE(seenText, QString("Card removed?\nCheck it."));
    QCOMPARE(seenIcon, QMessageBox::Warning);
    QCOMPARE(answer, MessageResult::Cancel);
    QCOMPARE(model, 2);
  }

 private:
  CardwrightWindow& Open() {
    window_ = std::make_unique<CardwrightWindow>(fake(), prompt_,
                                                 JobWorkers{store_->Entry(), verify_->Entry()});
    window_->logic().SetEndProcess([] { QFAIL("the process would have ended"); });
    return *window_;
  }
  template <typename T>
  T* Find(int id) const {
    T* control = window_->findChild<T*>(ControlName(id));
    if (control == nullptr) qFatal("control %d missing", id);
    return control;
  }
  FakePlatform& fake() { return *fake_; }

  std::unique_ptr<FakePlatform> fake_;
  ScriptedPrompt prompt_;
  std::unique_ptr<TestWorker> store_, verify_;
  std::unique_ptr<CardwrightWindow> window_;
};

QTEST_MAIN(WidgetsTest)
#include "widgets.moc"
