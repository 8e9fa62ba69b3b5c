#include "ui/settings_dialogs.h"

#include "record/job_context.h"

namespace cw {

void CAdvancedSettingsDlg::OnInitDialog() {
  const bool createBackup = job_.skipBackup == 0;
  view_.SetCheck(kIdCreateBackup, createBackup);
  view_.SetCheck(kIdRestoreOnly, job_.restoreOnly != 0);
  view_.SetCheck(kIdEngine, job_.engineSelected != 0);
  view_.SetCheck(kIdPanel, job_.panelSelected != 0);
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
  job_.skipBackup = view_.GetCheck(kIdCreateBackup) ? 0 : 1;
  job_.restoreOnly = view_.GetCheck(kIdRestoreOnly) ? 1 : 0;
  job_.panelSelected = view_.GetCheck(kIdPanel) ? 1 : 0;
  job_.engineSelected = view_.GetCheck(kIdEngine) ? 1 : 0;
}

void CChoosePanelType::OnInitDialog() {
  view_.SetCheck(kId3940, true);
  view_.SetCheck(kId3950, false);
}

int CChoosePanelType::OnOK() const {
  return view_.GetCheck(kId3940) ? kTargetPanel3940 : kTargetPanel3950;
}

}  // namespace cw
