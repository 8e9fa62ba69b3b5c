#include "ui/win32/win32_prompt.h"

#include "ui/win32/win32_settings.h"

namespace cw::win32ui {

bool Win32Prompt::OnWindowThread(const std::function<void()>& show) {
  if (closing_) return false;
  HWND window = window_;
  if (window == nullptr || ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
    show();
    return true;
  }
  RunRequest request{show};
  ::SendMessageA(window, kRunOnWindowThread, 0, reinterpret_cast<LPARAM>(&request));
  return request.ran;
}

MessageResult Win32Prompt::MessageBox(const std::string& text, MessageButtons buttons,
                                      MessageIcon icon) {
  UINT style = buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  if (icon == MessageIcon::Exclamation) style |= MB_ICONEXCLAMATION;
  if (icon == MessageIcon::Warning) style |= MB_ICONWARNING;
  int answer = IDCANCEL;  // a window that is gone answers Cancel
  OnWindowThread([&] { answer = ::MessageBoxA(window_, text.c_str(), kApplicationName, style); });
  return answer == IDOK ? MessageResult::Ok : MessageResult::Cancel;
}

int Win32Prompt::ChooseModel(int currentTargetType) {
  int type = currentTargetType;
  // A top-level window without a parent, as the job opens it.
  OnWindowThread([&] { type = RunChoosePanelTypeDialog(instance_, currentTargetType); });
  return type;
}

void Win32Prompt::CloseAll() {
  closing_ = true;
  HWND window = window_;
  if (window == nullptr) return;
  // A box open over the window is its last active popup; Cancel ends it (OK for a box with
  // only OK, which asks nothing).
  HWND box = ::GetLastActivePopup(window);
  if (box != nullptr && box != window) ::PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace cw::win32ui
