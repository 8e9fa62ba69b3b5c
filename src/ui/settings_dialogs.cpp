#include "ui/settings_dialogs.h"

#include "platform/target_type.h"

namespace cw {

void CAdvancedSettingsDlg::OnInitDialog() {
  const bool createBackup = !settings_.skipBackup;
  view_.SetCheck(kIdCreateBackup, createBackup);
  view_.SetCheck(kIdRestoreOnly, settings_.restoreOnly);
  view_.SetCheck(kIdEngine, settings_.target == TargetChoice::kEngine);
  view_.SetCheck(kIdPanel, settings_.target == TargetChoice::kPanel);
  // A restore-only job always comes with the backup switched off.
  view_.Enable(kIdRestoreOnly, !createBackup);
}

void CAdvancedSettingsDlg::OnCreateBackupClicked() {
  if (view_.GetCheck(kIdCreateBackup)) {
    view_.Enable(kIdRestoreOnly, false);
    view_.SetCheck(kIdRestoreOnly, false);
  } else {
    view_.Enable(kIdRestoreOnly, true);
  }
}

void CAdvancedSettingsDlg::OnOK() {
  settings_.skipBackup = !view_.GetCheck(kIdCreateBackup);
  settings_.restoreOnly = view_.GetCheck(kIdRestoreOnly);
  // The two are radio buttons: at most one is checked.
  settings_.target = view_.GetCheck(kIdEngine)  ? TargetChoice::kEngine
                     : view_.GetCheck(kIdPanel) ? TargetChoice::kPanel
                                                : TargetChoice::kNone;
}

void CChoosePanelType::OnInitDialog() {
  view_.SetCheck(kId3940, true);
  view_.SetCheck(kId3950, false);
}

int CChoosePanelType::OnOK() const {
  return view_.GetCheck(kId3940) ? kTargetPanel3940 : kTargetPanel3950;
}

}  // namespace cw
