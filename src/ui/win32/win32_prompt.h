#pragma once
// The window's prompt on Windows: message boxes and the panel model chooser a job asks for.
// The job's worker thread blocks until the answer comes; the box itself runs on the window's
// thread, whose modal loop keeps the window's timer and painting going meanwhile. (A box made
// on the worker thread deadlocks under Wine when its activation meets the window's thread.)

#include "ui/win32/win32_api.h"

#include <atomic>
#include <functional>

#include "record/prompt.h"

namespace cw::win32ui {

// Sent to the main dialog with a RunRequest* as lParam: runs it on the dialog's thread.
constexpr UINT kRunOnWindowThread = WM_APP + 1;
struct RunRequest {
  std::function<void()> run;
  bool ran = false;
};

class Win32Prompt : public Prompt {
 public:
  explicit Win32Prompt(HINSTANCE instance) : instance_(instance) {}

  // The main dialog that owns the boxes (nullptr: none, each shows on its caller's thread).
  void SetWindow(HWND window) { window_ = window; }

  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  int ChooseModel(int currentTargetType) override;
  // The window is closing: an open box ends as Cancel and later questions are answered so.
  void CloseAll() override;

 private:
  // Runs `show` on the window's thread and waits for it; false when the window is gone.
  bool OnWindowThread(const std::function<void()>& show);

  HINSTANCE instance_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<bool> closing_{false};
};

}  // namespace cw::win32ui
