#pragma once
// The window's prompt on Windows: message boxes and the panel model chooser a job asks for.
// Each is shown on the thread that asks, a job's on its worker thread, which it blocks; the
// window's thread goes on with its timer and painting meanwhile. A box over the main dialog
// is owned by it (the dialog is disabled while the box is up); the chooser has no owner.

#include "ui/win32/win32_api.h"

#include <atomic>

#include "record/prompt.h"

namespace cw::win32ui {

class Win32Prompt : public Prompt {
 public:
  explicit Win32Prompt(HINSTANCE instance) : instance_(instance) {}

  // The main dialog that owns the boxes (nullptr: none).
  void SetWindow(HWND window) { window_ = window; }

  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  int ChooseModel(int currentTargetType) override;
  // The window is closing: an open box or chooser ends as Cancel (OK for a box with only OK,
  // which asks nothing) and later questions are answered so.
  void CloseAll() override;

 private:
  HINSTANCE instance_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<bool> closing_{false};
};

}  // namespace cw::win32ui
