#pragma once
// The window's prompt: message boxes and the panel model chooser as Qt dialogs. A worker thread
// asks through the GUI thread and blocks until the answer comes; the window stays live
// meanwhile, its timer running.

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "record/prompt.h"

namespace cw {

class WindowPrompt : public Prompt {
 public:
  // Message boxes are centred on `window` (may be null or set later).
  explicit WindowPrompt(QWidget* window = nullptr) : window_(window) {}
  void SetWindow(QWidget* window) { window_ = window; }

  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  int ChooseModel(int currentTargetType) override;
  void CloseAll() override;

 private:
  QPointer<QWidget> window_;
  // Touched on the GUI thread only: the box or chooser open now, and whether the window is
  // closing (questions are then answered without being shown).
  QPointer<QDialog> open_;
  bool closing_ = false;
};

}  // namespace cw
