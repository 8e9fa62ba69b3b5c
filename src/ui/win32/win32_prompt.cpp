#include "ui/win32/win32_prompt.h"

#include "ui/win32/win32_settings.h"

namespace cw::win32ui {

bool Win32Prompt::OnWindowThread(const std::function<void()>& show) {
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

}  // namespace cw::win32ui
