#include "ui/qt/history_window.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "ui/dialog_layout.h"
#include "ui/qt/dialog_units.h"

namespace cw {
namespace {

constexpr int kClosedComboHeight = 14;  // dialog units

}  // namespace

HistoryWindow::HistoryWindow(Platform& platform, const std::string& dataFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      logic_(platform, dataFolder, *this) {
  setFont(DialogFont());
  setWindowTitle(QStringLiteral("History"));
  const DialogUnits du(font());
  setFixedSize(du.Size(HISTORY_DIALOG_SIZE));
  // The rectangles of ui/dialog_layout.h, each four arguments (x, y, width, height) last.
  auto place = [&](QWidget* control, int id, int x, int y, int width, int height) {
    PlaceControl(control, du, id, x, y, width, height);
  };
  auto* caption = new QLabel(QStringLiteral("&Card:"), this);
  place(caption, -1, HISTORY_CARD_CAPTION);
  card_ = new QComboBox(this);
  place(card_, kIdHistoryCard, HISTORY_CARD);
  // The template's height is the open list's (as Windows reads it); Qt's box is the closed one.
  card_->resize(card_->width(), du.Size(0, kClosedComboHeight).height());
  caption->setBuddy(card_);
  note_ = new QLabel(this);
  note_->setWordWrap(true);
  note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  place(note_, kIdHistoryNote, HISTORY_NOTE);
  list_ = new QTreeWidget(this);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  QStringList heads;
  for (const char* column : kJournalColumns) heads << QString::fromLatin1(column);
  list_->setHeaderLabels(heads);
  place(list_, kIdHistoryList, HISTORY_LIST);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  place(close, kIdHistoryClose, HISTORY_CLOSE);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(card_, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { logic_.OnCardChosen(text.toStdString()); });
  logic_.OnInitDialog();
}

void HistoryWindow::SetCardChoices(const std::vector<std::string>& choices) {
  const QSignalBlocker quiet(card_);  // filling the choice is not a choice
  card_->clear();
  for (const std::string& choice : choices) card_->addItem(QString::fromStdString(choice));
  card_->setCurrentIndex(0);
}

void HistoryWindow::SetRows(const std::vector<std::vector<std::string>>& rows) {
  list_->clear();
  QList<QTreeWidgetItem*> items;
  for (const std::vector<std::string>& row : rows) {
    QStringList cells;
    for (const std::string& cell : row) cells << QString::fromStdString(cell);
    items << new QTreeWidgetItem(cells);
  }
  list_->addTopLevelItems(items);
  for (int column = 0; column < list_->columnCount(); ++column) list_->resizeColumnToContents(column);
}

void HistoryWindow::SetNote(const std::string& text) { note_->setText(QString::fromStdString(text)); }

}  // namespace cw
