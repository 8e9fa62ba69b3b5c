#pragma once
// The rules of the two small dialogs: "Advanced Settings" (IDD_ADVANCED_SETTINGS) edits the
// window's target choice and backup settings; "Please Choose Panel Type" (IDD_CHOOSE_PANEL_TYPE)
// asks a panel card's model. A SettingsView holds their check boxes and radio buttons.

#include "record/job_request.h"

namespace cw {

// The "Advanced Settings" the window keeps from job to job (the card detection also sets the
// target): each store's request is made with them.
struct AdvancedSettings {
  bool skipBackup = false;
  bool restoreOnly = false;
  TargetChoice target = TargetChoice::kNone;
};

enum SettingsControl : int {
  kIdOk = 1,
  // Advanced Settings
  kIdCreateBackup = 1036,
  kIdTargetGroup = 1039,
  kIdBackupGroup = 1040,
  kIdRestoreOnly = 1042,
  kIdEngine = 1045,
  kIdPanel = 1046,
  // Please Choose Panel Type
  kId3940 = 1030,
  kId3950 = 1031,
};

class SettingsView {
 public:
  virtual ~SettingsView() = default;
  virtual void SetCheck(int id, bool checked) = 0;
  virtual bool GetCheck(int id) const = 0;
  virtual void Enable(int id, bool enable) = 0;
};

class CAdvancedSettingsDlg {
 public:
  CAdvancedSettingsDlg(AdvancedSettings& settings, SettingsView& view)
      : settings_(settings), view_(view) {}
  void OnInitDialog();
  // "Create Backup" was clicked; its check state is already the new one.
  void OnCreateBackupClicked();
  // Saves the choices into the settings. Closing any other way saves nothing.
  void OnOK();

 private:
  AdvancedSettings& settings_;
  SettingsView& view_;
};

class CChoosePanelType {
 public:
  explicit CChoosePanelType(SettingsView& view) : view_(view) {}
  void OnInitDialog();
  // The targetType that OK gives: 2 for "3940", 3 for "3950".
  int OnOK() const;

 private:
  SettingsView& view_;
};

}  // namespace cw
