// "History..." on the Qt window: the card journal of the window's data folder, newest first,
// narrowed by the card chosen, with a line cut short named.

#include <QtTest>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "dialog_test_support.h"
#include "journal/journal_file.h"
#include "support/journal_entries.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/history_window.h"
#include "ui/qt/main_window.h"

using namespace cw;

class HistoryTest : public QObject {
  Q_OBJECT

 private slots:
  void theWindowListsTheJournalNewestFirstAndByCard() {
    FakePlatform fake;
    ScriptedPrompt prompt;
    TestWorker store, verify;
    CardwrightWindow window(fake, prompt, JobWorkers{store.Entry(), verify.Entry()});
    const std::string data = window.logic().dataPath();
    {
      HistoryWindow empty(fake, data, nullptr);
      QVERIFY(Find<QLabel>(&empty, kIdHistoryNote)->text().startsWith("There are no entries"));
      QCOMPARE(Find<QTreeWidget>(&empty, kIdHistoryList)->topLevelItemCount(), 0);
    }
    for (const JournalEntry& entry :
         {test::SampleJournalEntry(JobKind::kStore, JobOutcome::kPassed, 0),
          test::SampleJournalEntry(JobKind::kVerifyOnly, JobOutcome::kFailed, 24 * 60, 0x0BAD0001),
          test::SampleJournalEntry(JobKind::kRestoreOnly, JobOutcome::kPassed, 48 * 60)})
      QVERIFY(AppendJobToJournal(fake, data, entry));
    // A crash cut the fourth line short.
    fake.WriteFile(JournalPath(data), fake.ReadFile(JournalPath(data)) + "{\"schema\":1,\"prev");

    auto* button = Find<QPushButton>(&window, kIdHistory);
    QCOMPARE(button->text(), QString("History..."));
    QCOMPARE(button->geometry(), DialogUnits(window.font()).Rect(190, 278, 50, 14));
    bool seen = false;
    QTimer::singleShot(0, [&] {
      QWidget* history = QApplication::activeModalWidget();
      QVERIFY(qobject_cast<HistoryWindow*>(history));
      seen = true;
      auto* list = Find<QTreeWidget>(history, kIdHistoryList);
      auto* card = Find<QComboBox>(history, kIdHistoryCard);
      QStringList cards;
      for (int i = 0; i < card->count(); ++i) cards << card->itemText(i);
      QCOMPARE(cards, QStringList({"All cards", "1A2B-3C4D", "0BAD-0001"}));
      QCOMPARE(list->headerItem()->text(6), QString("files w/v/f"));
      QCOMPARE(Column(list, 0), QStringList({"2026-03-03 10:00:00 +01:00", "2026-03-02 10:00:00 +01:00",
                                             "2026-03-01 10:00:00 +01:00"}));
      QCOMPARE(Column(list, 1), QStringList({"restore_only", "verify_only", "store"}));
      QCOMPARE(list->topLevelItem(1)->text(5), QString("failed"));
      QCOMPARE(Find<QLabel>(history, kIdHistoryNote)->text(),
               QString("3 entries. The card journal has 1 incomplete line (cut short when "
                       "written): line 4."));
      card->setCurrentIndex(2);
      QCOMPARE(Column(list, 2), QStringList({"0BAD-0001"}));
      card->setCurrentIndex(1);
      QCOMPARE(Column(list, 1), QStringList({"restore_only", "store"}));
      Find<QPushButton>(history, kIdHistoryClose)->click();
    });
    button->click();
    QVERIFY(seen);
  }

 private:
  template <typename T>
  static T* Find(QWidget* parent, int id) {
    T* control = parent->findChild<T*>(ControlName(id));
    if (control == nullptr) qFatal("control %d missing", id);
    return control;
  }
  static QStringList Column(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(column);
    return texts;
  }
};

QTEST_MAIN(HistoryTest)
#include "history.moc"
