#pragma once
// "Advanced Settings" (template 157) and "Please Choose Panel Type" (template 156) as native
// modal dialogs over the rules of ui/settings_dialogs.h.

#include "ui/win32/win32_api.h"

#include "ui/settings_dialogs.h"

namespace cw {
struct JobContext;
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
void RunAdvancedSettingsDialog(HINSTANCE instance, HWND parent, JobContext& job);

// Runs the chooser modally without a parent on the calling thread (the worker's, while the
// main window stays live). Returns the targetType after it closes: 2 for "3940", 3 for "3950",
// `currentTargetType` unchanged when it was closed without OK.
int RunChoosePanelTypeDialog(HINSTANCE instance, int currentTargetType);

}  // namespace cw::win32ui
