#include "ui/qt/window_prompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "ui/qt/settings_windows.h"

namespace cw {
namespace {

// Runs `show` on the GUI thread and returns its result; from a worker, blocks until then.
template <typename Show>
int OnGuiThread(Show show) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return 0;
  if (QThread::currentThread() == app->thread()) return show();
  int result = 0;
  QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection, &result);
  return result;
}

}  // namespace

MessageResult WindowPrompt::MessageBox(const std::string& text, MessageButtons buttons,
                                       MessageIcon icon) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const int answer = OnGuiThread([this, shown, buttons, icon]() -> int {
    if (closing_) return buttons == MessageButtons::Ok ? QMessageBox::Ok : QMessageBox::Cancel;
    QMessageBox box(icon == MessageIcon::None       ? QMessageBox::NoIcon
                    : icon == MessageIcon::Question ? QMessageBox::Question
                                                    : QMessageBox::Warning,
                    QString::fromLatin1(kApplicationName), shown,
                    buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                        : QMessageBox::Ok,
                    window_.data());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    open_ = &box;
    const int result = box.exec();
    open_ = nullptr;
    return result;
  });
  return answer == QMessageBox::Ok ? MessageResult::Ok : MessageResult::Cancel;
}

int WindowPrompt::ChooseModel(int currentTargetType) {
  return OnGuiThread([this, currentTargetType]() -> int {
    if (closing_) return currentTargetType;
    // A top-level window of its own, as the job opens it without a parent.
    ChoosePanelTypeWindow chooser;
    int type = currentTargetType;
    open_ = &chooser;
    chooser.ChooseModel(&type);
    open_ = nullptr;
    return type;
  });
}

void WindowPrompt::CloseAll() {
  closing_ = true;
  // A message box's result is the button that ended it; a chooser's, rejected.
  if (auto* box = qobject_cast<QMessageBox*>(open_.data()))
    box->done(QMessageBox::Cancel);
  else if (open_)
    open_->reject();
}

}  // namespace cw
