#pragma once
// The window's prompt: message boxes and the panel model chooser as Qt dialogs. A worker thread
// asks through the GUI thread and blocks until the answer comes; the window stays live
// meanwhile, its timer running.

#include <QPointer>
#include <QWidget>

#include "job/prompt.h"

namespace cw {

class WindowPrompt : public Prompt {
 public:
  // Message boxes are centred on `window` (may be null or set later).
  explicit WindowPrompt(QWidget* window = nullptr) : window_(window) {}
  void SetWindow(QWidget* window) { window_ = window; }

  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  int ChooseModel(int currentTargetType) override;

 private:
  QPointer<QWidget> window_;
};

}  // namespace cw
