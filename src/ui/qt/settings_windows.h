#pragma once
// The Qt dialogs of "Advanced Settings" (IDD_ADVANCED_SETTINGS) and "Please Choose Panel Type"
// (IDD_CHOOSE_PANEL_TYPE). Their rules are in CAdvancedSettingsDlg and CChoosePanelType.

#include <QDialog>
#include <QHash>

#include "ui/settings_dialogs.h"

class QAbstractButton;

namespace cw {

// The check boxes and radio buttons of a small dialog, by id.
class SettingsWindowBase : public QDialog, public SettingsView {
  Q_OBJECT

 public:
  void SetCheck(int id, bool checked) override;
  bool GetCheck(int id) const override;
  void Enable(int id, bool enable) override;

 protected:
  SettingsWindowBase(QWidget* parent, const QString& title, int width, int height);
  // Adds a check box (radio false) or radio button at its template position.
  QAbstractButton* AddChoice(int id, bool radio, const QString& caption, int x, int y, int w, int h);
  // The default "OK" button.
  QAbstractButton* AddOk(int x, int y, int w, int h);
  void AddGroup(int id, const QString& caption, int x, int y, int w, int h);

 private:
  QHash<int, QAbstractButton*> choices_;
};

class AdvancedSettingsWindow : public SettingsWindowBase {
  Q_OBJECT

 public:
  AdvancedSettingsWindow(AdvancedSettings& settings, QWidget* parent);

 private:
  CAdvancedSettingsDlg logic_;
};

class ChoosePanelTypeWindow : public SettingsWindowBase {
  Q_OBJECT

 public:
  explicit ChoosePanelTypeWindow(QWidget* parent = nullptr);
  // Runs the dialog; on OK writes 2 (3940) or 3 (3950) to *type. Returns the dialog's result.
  int ChooseModel(int* type);

 private:
  CChoosePanelType logic_;
};

}  // namespace cw
