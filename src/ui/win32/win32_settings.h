#pragma once
// "Advanced Settings" (IDD_ADVANCED_SETTINGS) and "Please Choose Panel Type"
// (IDD_CHOOSE_PANEL_TYPE) as native modal dialogs: the layouts come from the resources, the
// rules from ui/settings_dialogs.h, which the Qt window shares.

#include "ui/win32/win32_api.h"

#include "ui/settings_dialogs.h"

namespace cw {
struct AdvancedSettings;
}

namespace cw::win32ui {

// The check boxes and radio buttons of one open dialog.
class Win32SettingsView : public SettingsView {
 public:
  explicit Win32SettingsView(HWND dialog) : dialog_(dialog) {}
  void SetCheck(int id, bool checked) override;
  bool GetCheck(int id) const override;
  void Enable(int id, bool enable) override;

 private:
  HWND dialog_;
};

// Runs "Advanced Settings" on `job` modally over `parent`; OK saves, any other end does not.
void RunAdvancedSettingsDialog(HINSTANCE instance, HWND parent, AdvancedSettings& settings);

// Runs the chooser modally without a parent on the calling thread (the worker's, while the
// main window stays live). Returns the targetType after it closes: 2 for "3940", 3 for "3950",
// `currentTargetType` unchanged when it was closed without OK.
int RunChoosePanelTypeDialog(HINSTANCE instance, int currentTargetType);

}  // namespace cw::win32ui
