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

#include "ui/dialog_layout.h"
#include "ui/qt/artwork.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/dir_tree_widget.h"
#include "ui/qt/history_window.h"
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
  setFixedSize(DialogUnits(font()).Size(LAYOUT_DIALOG_SIZE));
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
  // The rectangles of ui/dialog_layout.h, each four arguments (x, y, width, height) last.
  const DialogUnits du(font());
  auto place = [&](QWidget* w, int id, int x, int y, int width, int height) {
    PlaceControl(w, du, id, x, y, width, height);
    controls_.insert(id, w);
    return w;
  };
  auto button = [&](int id, const char* caption, int x, int y, int width, int height) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    place(b, id, x, y, width, height);
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
  auto caption = [&](int id, const char* text, int x, int y, int width, int height) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    place(label, id, x, y, width, height);
    QFont bold = font();
    bold.setBold(true);
    label->setFont(bold);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0x1d, 0x3d, 0x6b));
    label->setPalette(palette);
  };
  const qreal ratio = devicePixelRatioF();
  // A mark's picture is drawn at its control's size, measured from the dialog's origin.
  auto sizeOf = [&](int /*x*/, int /*y*/, int width, int height) { return du.Size(width, height); };
  const QSize passSize = sizeOf(LAYOUT_PASS1);
  const QSize failSize = sizeOf(LAYOUT_FAIL1_LEFT);

  // Template order, which is also the tab order.
  button(kIdStore, "Store and Verify", LAYOUT_STORE)->setDefault(true);
  edit(kIdPackageBox, LAYOUT_PACKAGE_BOX);
  button(kIdBrowse, "Browse...", LAYOUT_BROWSE);
  edit(kIdCardBox, LAYOUT_CARD_BOX);
  place(MakeStatusLine(this), kIdStatus1, LAYOUT_STATUS1);
  tree_ = new DirTreeWidget(this);
  place(tree_, kIdTree, LAYOUT_TREE);
  button(kIdVerify, "Verify Only", LAYOUT_VERIFY);
  picture(kIdPassMark1, PassMarkPixmap(passSize, ratio), LAYOUT_PASS1);
  progress_ = new QProgressBar(this);
  place(progress_, kIdProgress, LAYOUT_PROGRESS);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setAttribute(Qt::WA_TransparentForMouseEvents);  // display only
  progress_->setFocusPolicy(Qt::NoFocus);
  MakeReadOnly(edit(kIdEngineVersion, LAYOUT_ENGINE_VERSION), true);
  MakeReadOnly(edit(kIdPanelVersion, LAYOUT_PANEL_VERSION), true);
  caption(140, "Step 2: Choose Compact Flash Drive", LAYOUT_STEP2_LABEL);
  caption(141, "Step 3: Store and/or Verify", LAYOUT_STEP3_LABEL);
  caption(139, "Step 1: Choose FWP Data File", LAYOUT_STEP1_LABEL);
  const QPixmap fail = FailMarkPixmap(failSize, ratio);
  picture(kIdFailMark1Left, fail, LAYOUT_FAIL1_LEFT);
  picture(kIdFailMark1Right, fail, LAYOUT_FAIL1_RIGHT);
  place(MakeStatusLine(this), kIdStatus2, LAYOUT_STATUS2);
  picture(kIdPassMark2, PassMarkPixmap(passSize, ratio), LAYOUT_PASS2);
  picture(kIdFailMark2Left, fail, LAYOUT_FAIL2_LEFT);
  picture(kIdFailMark2Right, fail, LAYOUT_FAIL2_RIGHT);
  button(kIdAdvanced, "Advanced", LAYOUT_ADVANCED);
  button(kIdHistory, "History...", LAYOUT_HISTORY);
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
  clicked(kIdHistory, &CCardwrightDlg::OnHistory);
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

void CardwrightWindow::RunAdvancedSettings(AdvancedSettings& settings) {
  AdvancedSettingsWindow window(settings, this);
  window.exec();
}

void CardwrightWindow::RunHistory(Platform& platform, const std::string& dataFolder) {
  HistoryWindow history(platform, dataFolder, this);
  history.exec();
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
