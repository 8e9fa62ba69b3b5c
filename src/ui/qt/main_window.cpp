#include "ui/qt/main_window.h"

#include <algorithm>

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTimerEvent>

#include "ui/qt/artwork.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/dir_tree_widget.h"
#include "ui/qt/settings_windows.h"

namespace cw {
namespace {

constexpr int kDrivesPollMs = 500;

// Read-only boxes show the dialog's face colour, as Windows draws a read-only edit.
void MakeReadOnly(QLineEdit* edit, bool frame) {
  edit->setReadOnly(true);
  edit->setFrame(frame);
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  edit->setPalette(palette);
}

// Status lines 1005 and 1006: multi-line, read-only edits without a border, so a long text
// wraps instead of scrolling out of view.
QPlainTextEdit* MakeStatusLine(QWidget* parent) {
  auto* status = new QPlainTextEdit(parent);
  status->setReadOnly(true);
  status->setFrameShape(QFrame::NoFrame);
  status->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  status->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  status->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  status->setFocusPolicy(Qt::NoFocus);
  status->document()->setDocumentMargin(0);
  QPalette palette = status->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  status->setPalette(palette);
  return status;
}

}  // namespace

CardwrightWindow::CardwrightWindow(Platform& platform, Prompt& prompt, JobWorkers workers,
                                   QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setFont(DialogFont());
  setWindowTitle(QStringLiteral("Ver. X.XXX - Quorvane FWP File Downloader and Verifier"));
  setWindowIcon(ApplicationIcon());
  setFixedSize(DialogUnits(font()).Size(302, 299));
  BuildControls();
  logic_ = std::make_unique<CCardwrightDlg>(platform, *this, *tree_, prompt, std::move(workers));
  ConnectControls();
  logic_->OnInitDialog();
  controls_.value(kIdStore)->setFocus();
  // Linux sends a window no word of a card put in or taken out: the mount table is asked
  // twice a second (a poll of the kernel's flag, nothing read while nothing changed).
  auto* drivesPoll = new QTimer(this);
  connect(drivesPoll, &QTimer::timeout, this, [this] { logic_->PollDrives(); });
  drivesPoll->start(kDrivesPollMs);
}

CardwrightWindow::~CardwrightWindow() = default;

void CardwrightWindow::BuildControls() {
  const DialogUnits du(font());
  auto place = [&](QWidget* w, int id, int x, int y, int width, int height) {
    PlaceControl(w, du, id, x, y, width, height);
    controls_.insert(id, w);
    return w;
  };
  auto button = [&](int id, const char* caption, int x, int y) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    place(b, id, x, y, id == kIdStore ? 65 : 50, 14);
    return b;
  };
  auto edit = [&](int id, int x, int y, int width, int height) {
    auto* e = new QLineEdit(this);
    place(e, id, x, y, width, height);
    return e;
  };
  auto picture = [&](int id, const QPixmap& pixmap, int x, int y, int width, int height) {
    auto* label = new QLabel(this);
    place(label, id, x, y, width, height);
    label->setPixmap(pixmap);
    label->setAlignment(Qt::AlignCenter);
    label->hide();
  };
  auto caption = [&](int id, const char* text, int x, int y, int width) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    place(label, id, x, y, width, 10);
    QFont bold = font();
    bold.setBold(true);
    label->setFont(bold);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0x1d, 0x3d, 0x6b));
    label->setPalette(palette);
  };
  const qreal ratio = devicePixelRatioF();
  const QSize passSize = du.Rect(0, 0, 20, 20).size();
  const QSize failSize = du.Rect(0, 0, 31, 25).size();

  // Template order, which is also the tab order.
  button(kIdStore, "Store and Verify", 72, 199)->setDefault(true);
  edit(kIdPackageBox, 72, 39, 132, 14);
  button(kIdBrowse, "Browse...", 206, 39);
  edit(kIdCardBox, 72, 163, 131, 14);
  place(MakeStatusLine(this), kIdStatus1, 77, 220, 142, 12);
  tree_ = new DirTreeWidget(this);
  place(tree_, kIdTree, 72, 108, 132, 50);
  button(kIdVerify, "Verify Only", 149, 199);
  picture(kIdPassMark1, PassMarkPixmap(passSize, ratio), 50, 216, 20, 20);
  progress_ = new QProgressBar(this);
  place(progress_, kIdProgress, 74, 245, 127, 11);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setAttribute(Qt::WA_TransparentForMouseEvents);  // display only
  progress_->setFocusPolicy(Qt::NoFocus);
  MakeReadOnly(edit(kIdEngineVersion, 75, 57, 135, 12), true);
  MakeReadOnly(edit(kIdPanelVersion, 75, 74, 141, 12), true);
  caption(140, "Step 2: Choose Compact Flash Drive", 72, 92, 177);
  caption(141, "Step 3: Store and/or Verify", 72, 183, 130);
  caption(139, "Step 1: Choose FWP Data File", 72, 23, 145);
  const QPixmap fail = FailMarkPixmap(failSize, ratio);
  picture(kIdFailMark1Left, fail, 17, 212, 31, 25);
  picture(kIdFailMark1Right, fail, 227, 212, 31, 25);
  place(MakeStatusLine(this), kIdStatus2, 77, 264, 142, 12);
  picture(kIdPassMark2, PassMarkPixmap(passSize, ratio), 51, 261, 20, 20);
  picture(kIdFailMark2Left, fail, 18, 250, 31, 25);
  picture(kIdFailMark2Right, fail, 228, 250, 31, 25);
  button(kIdAdvanced, "Advanced", 245, 278);
}

void CardwrightWindow::ConnectControls() {
  auto clicked = [this](int id, void (CCardwrightDlg::*handler)()) {
    connect(static_cast<QPushButton*>(controls_.value(id)), &QPushButton::clicked, this,
            [this, handler] { (logic_.get()->*handler)(); });
  };
  clicked(kIdBrowse, &CCardwrightDlg::OnBrowseCrcFile);
  clicked(kIdStore, &CCardwrightDlg::OnDownloadAndVerify);
  clicked(kIdVerify, &CCardwrightDlg::OnVerify);
  clicked(kIdAdvanced, &CCardwrightDlg::OnAdvanced);
  // Typing fires the change handlers; text the logic sets runs them from the logic itself.
  connect(Edit(kIdPackageBox), &QLineEdit::textEdited, this,
          [this] { logic_->OnChangeEditCrcDataFile(); });
  connect(Edit(kIdCardBox), &QLineEdit::textEdited, this,
          [this] { logic_->OnChangeEditCompactFlash(); });
  connect(tree_, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { logic_->OnItemExpanded(item, true); });
  connect(tree_, &QTreeWidget::itemCollapsed, this,
          [this](QTreeWidgetItem* item) { logic_->OnItemExpanded(item, false); });
  connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (!selected.isEmpty()) logic_->OnSelchangedTree2(selected.first());
  });
}

QLineEdit* CardwrightWindow::Edit(int id) const {
  return qobject_cast<QLineEdit*>(controls_.value(id));
}

void CardwrightWindow::SetText(int id, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (auto* status = qobject_cast<QPlainTextEdit*>(controls_.value(id))) {
    if (status->toPlainText() != shown) status->setPlainText(shown);
    return;
  }
  QLineEdit* edit = Edit(id);
  if (edit == nullptr) return;
  if (edit->text() != shown) {
    edit->setText(shown);
    edit->setCursorPosition(0);
  }
}

std::string CardwrightWindow::GetText(int id) const {
  if (auto* status = qobject_cast<QPlainTextEdit*>(controls_.value(id)))
    return status->toPlainText().toStdString();
  QLineEdit* edit = Edit(id);
  return edit == nullptr ? std::string() : edit->text().toStdString();
}

void CardwrightWindow::Show(int id, bool show) {
  if (QWidget* control = controls_.value(id)) control->setVisible(show);
}

void CardwrightWindow::Enable(int id, bool enable) {
  if (QWidget* control = controls_.value(id)) control->setEnabled(enable);
}

void CardwrightWindow::SetTitle(const std::string& title) {
  setWindowTitle(QString::fromStdString(title));
}

void CardwrightWindow::SetProgressRange(int min, int max) {
  progressMin_ = min;
  progressMax_ = max;
  // An empty range shows an empty bar (Qt would animate a busy bar).
  if (max > min)
    progress_->setRange(min, max);
  else
    progress_->setRange(0, 1);
  progress_->setValue(progress_->minimum());
}

void CardwrightWindow::SetProgressPos(int pos) {
  // Positions outside the range are clamped, as a Windows progress bar clamps them.
  if (progressMax_ > progressMin_)
    progress_->setValue(std::clamp(pos, progressMin_, progressMax_));
  else
    progress_->setValue(progress_->minimum());
}

int CardwrightWindow::StartTimer(int /*id*/, int periodMs) { return startTimer(periodMs); }

void CardwrightWindow::KillTimer(int timerId) { killTimer(timerId); }

void CardwrightWindow::timerEvent(QTimerEvent* event) {
  if (event->timerId() == logic_->timerId())
    logic_->OnTimer();
  else
    QDialog::timerEvent(event);
}

std::optional<std::string> CardwrightWindow::ChooseFile(const std::string& title,
                                                        const std::string& initialPath) {
  if (fileChooser_) return fileChooser_(title, initialPath);
  QString start = QString::fromStdString(initialPath);
  if (QFileInfo(start).fileName().contains(QLatin1Char('*')))
    start = QFileInfo(start).path();  // a folder pattern: open in the folder
  const QString chosen =
      QFileDialog::getOpenFileName(this, QString::fromStdString(title), start,
                                   QStringLiteral(".FWP (*.FWP *.fwp);;All files (*)"));
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

void CardwrightWindow::RunAdvancedSettings(JobContext& job) {
  AdvancedSettingsWindow settings(job, this);
  settings.exec();
}

void CardwrightWindow::CloseWindow() { close(); }

void CardwrightWindow::reject() {
  // While a job stops (or Esc's question was answered Cancel) the window stays open; the logic
  // closes it when the job has ended.
  if (!logic_->OnEscape()) return;
  QDialog::reject();
}

void CardwrightWindow::closeEvent(QCloseEvent* event) {
  if (!logic_->OnClose()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace cw
