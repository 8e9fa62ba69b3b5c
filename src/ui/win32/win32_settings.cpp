#include "ui/win32/win32_settings.h"

#include <optional>

#include "ui/win32/resource_ids.h"

namespace cw::win32ui {
namespace {

// What one open dialog keeps: its view and its rules, made in WM_INITDIALOG.
struct AdvancedState {
  AdvancedSettings& settings;
  std::optional<Win32SettingsView> view{};
  std::optional<CAdvancedSettingsDlg> logic{};
};

struct ChooserState {
  int type;
  std::optional<Win32SettingsView> view{};
  std::optional<CChoosePanelType> logic{};
};

template <typename State>
State* StateOf(HWND dialog) {
  return reinterpret_cast<State*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR CALLBACK AdvancedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* state = reinterpret_cast<AdvancedState*>(lParam);
    state->view.emplace(dialog);
    state->logic.emplace(state->settings, *state->view);
    state->logic->OnInitDialog();
    return TRUE;
  }
  auto* state = StateOf<AdvancedState>(dialog);
  if (message != WM_COMMAND || state == nullptr || !state->logic) return FALSE;
  switch (LOWORD(wParam)) {
    case kIdCreateBackup:
      if (HIWORD(wParam) == BN_CLICKED) state->logic->OnCreateBackupClicked();
      return TRUE;
    case IDOK:
      state->logic->OnOK();
      ::EndDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:  // the close box and Esc save nothing
      ::EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* state = reinterpret_cast<ChooserState*>(lParam);
    state->view.emplace(dialog);
    state->logic.emplace(*state->view);
    state->logic->OnInitDialog();
    // A top-level window of its own, without a parent: bring it to the operator.
    ::SetForegroundWindow(dialog);
    return TRUE;
  }
  auto* state = StateOf<ChooserState>(dialog);
  if (message != WM_COMMAND || state == nullptr || !state->logic) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      state->type = state->logic->OnOK();
      ::EndDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:
      ::EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void Win32SettingsView::SetCheck(int id, bool checked) {
  ::CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32SettingsView::GetCheck(int id) const {
  return ::IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

void Win32SettingsView::Enable(int id, bool enable) {
  if (HWND control = ::GetDlgItem(dialog_, id)) ::EnableWindow(control, enable ? TRUE : FALSE);
}

void RunAdvancedSettingsDialog(HINSTANCE instance, HWND parent, AdvancedSettings& settings) {
  AdvancedState state{settings};
  ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ADVANCED_SETTINGS), parent, AdvancedProc,
                    reinterpret_cast<LPARAM>(&state));
}

int RunChoosePanelTypeDialog(HINSTANCE instance, int currentTargetType) {
  ChooserState state{currentTargetType};
  ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CHOOSE_PANEL_TYPE), nullptr, ChooserProc,
                    reinterpret_cast<LPARAM>(&state));
  return state.type;
}

}  // namespace cw::win32ui
