#include "ui/win32/win32_prompt.h"

#include <string>

#include "ui/win32/win32_settings.h"

namespace cw::win32ui {
namespace {

// How often an open box checks whether the window is closing.
constexpr UINT kClosingCheckMs = 50;

// The prompt whose box or chooser runs on this thread, for its closing check.
thread_local const std::atomic<bool>* closingOfThisThread = nullptr;

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
  char className[16] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (std::string(className) == "#32770")
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

// A thread timer, run by the modal loop of the box or chooser: once the window closes, the
// dialogs of this thread end as Cancel. Polling also catches a box that opens just after the
// close began, which no message sent at the close could reach.
void CALLBACK CheckClosing(HWND, UINT, UINT_PTR, DWORD) {
  if (closingOfThisThread != nullptr && closingOfThisThread->load())
    ::EnumThreadWindows(::GetCurrentThreadId(), CancelDialog, 0);
}

// Keeps the closing check running on this thread while a box or chooser is open.
class ClosingWatch {
 public:
  explicit ClosingWatch(const std::atomic<bool>& closing)
      : outer_(closingOfThisThread), timer_(::SetTimer(nullptr, 0, kClosingCheckMs, CheckClosing)) {
    closingOfThisThread = &closing;
  }
  ~ClosingWatch() {
    if (timer_ != 0) ::KillTimer(nullptr, timer_);
    closingOfThisThread = outer_;
  }
  ClosingWatch(const ClosingWatch&) = delete;
  ClosingWatch& operator=(const ClosingWatch&) = delete;

 private:
  const std::atomic<bool>* outer_;
  UINT_PTR timer_;
};

}  // namespace

MessageResult Win32Prompt::MessageBox(const std::string& text, MessageButtons buttons,
                                      MessageIcon icon) {
  if (closing_) return MessageResult::Cancel;  // a closing window asks nothing more
  UINT style = buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  if (icon == MessageIcon::Exclamation) style |= MB_ICONEXCLAMATION;
  if (icon == MessageIcon::Warning) style |= MB_ICONWARNING;
  if (icon == MessageIcon::Question) style |= MB_ICONQUESTION;
  ClosingWatch watch(closing_);
  const int answer = ::MessageBoxA(window_, text.c_str(), kApplicationName, style);
  return answer == IDOK ? MessageResult::Ok : MessageResult::Cancel;
}

int Win32Prompt::ChooseModel(int currentTargetType) {
  if (closing_) return currentTargetType;
  ClosingWatch watch(closing_);
  return RunChoosePanelTypeDialog(instance_, currentTargetType);
}

void Win32Prompt::CloseAll() { closing_ = true; }

}  // namespace cw::win32ui
