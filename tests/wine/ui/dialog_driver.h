#pragma once
// Drives the real Windows window as a user's clicks do: messages to its controls, a message
// loop on the test thread (the window's own thread), and the boxes and dialogs that jobs and
// buttons open, found by caption and answered by their buttons.

#include "ui/win32/win32_api.h"

#include <functional>
#include <string>
#include <vector>

namespace cw::test {

// Runs the window's messages until `done` holds or `timeoutMs` passes; returns `done()`.
bool PumpUntil(HWND dialog, const std::function<bool()>& done, DWORD timeoutMs = 30000);

// The visible top-level dialog window captioned `caption`, or nullptr.
HWND FindDialog(const std::string& caption);

// The texts of a dialog's static controls, joined by newlines (a message box's words).
std::string StaticTexts(HWND dialog);

// Clicks the button `id` of `dialog` as the mouse does (BM_CLICK: the button changes its state
// and tells its parent).
void Click(HWND dialog, int id);

// While a modal dialog runs its own loop on this thread (after a click opens it), `act` runs
// once on a timer of this thread as soon as a dialog captioned `caption` is shown.
void WhenDialogOpens(const std::string& caption, std::function<void(HWND)> act);

// While it lives, every message box captioned `caption` that opens (a job's question on the
// job's thread, or a box of this thread's own) is answered with `answer` (IDOK or IDCANCEL),
// and its words are kept. It looks on a timer of this thread, which must take its messages.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::string caption, int answer = IDOK);
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  static void CALLBACK Check(HWND, UINT, UINT_PTR, DWORD);
  std::string caption_;
  int answer_;
  std::vector<std::string> messages_;
  HWND answered_ = nullptr;
  UINT_PTR timer_ = 0;
};

// Where a control lies in its dialog's client area, in pixels.
RECT ClientRectOf(HWND control);

// The text of a control.
std::string TextOf(HWND control);

// The texts of a report list's column `column`, top row first.
std::vector<std::string> ListColumn(HWND list, int column);

// Chooses item `index` of a combo box as the mouse does: the box changes, its dialog is told.
void ChooseComboItem(HWND combo, int index);

}  // namespace cw::test
