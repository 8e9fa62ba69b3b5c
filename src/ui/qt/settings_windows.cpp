#include "ui/qt/settings_windows.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "ui/dialog_layout.h"
#include "ui/qt/dialog_units.h"

namespace cw {

SettingsWindowBase::SettingsWindowBase(QWidget* parent, const QString& title, int width,
                                       int height)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setFont(DialogFont());
  setWindowTitle(title);
  setFixedSize(DialogUnits(font()).Size(width, height));
}

void SettingsWindowBase::SetCheck(int id, bool checked) {
  if (QAbstractButton* button = choices_.value(id)) {
    // An auto radio button cannot be unchecked directly; lift its exclusivity for the moment.
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(exclusive);
  }
}

bool SettingsWindowBase::GetCheck(int id) const {
  const QAbstractButton* button = choices_.value(id);
  return button != nullptr && button->isChecked();
}

void SettingsWindowBase::Enable(int id, bool enable) {
  if (QAbstractButton* button = choices_.value(id)) button->setEnabled(enable);
}

QAbstractButton* SettingsWindowBase::AddChoice(int id, bool radio, const QString& caption, int x,
                                               int y, int w, int h) {
  QAbstractButton* button = radio ? static_cast<QAbstractButton*>(new QRadioButton(caption, this))
                                  : new QCheckBox(caption, this);
  PlaceControl(button, DialogUnits(font()), id, x, y, w, h);
  button->raise();  // above the group boxes drawn behind it
  choices_.insert(id, button);
  return button;
}

QAbstractButton* SettingsWindowBase::AddOk(int x, int y, int w, int h) {
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  PlaceControl(ok, DialogUnits(font()), kIdOk, x, y, w, h);
  ok->setDefault(true);
  return ok;
}

void SettingsWindowBase::AddGroup(int id, const QString& caption, int x, int y, int w, int h) {
  auto* group = new QGroupBox(caption, this);
  PlaceControl(group, DialogUnits(font()), id, x, y, w, h);
  group->lower();
}

AdvancedSettingsWindow::AdvancedSettingsWindow(AdvancedSettings& settings, QWidget* parent)
    : SettingsWindowBase(parent, QStringLiteral("Advanced Settings"), LAYOUT_ADVANCED_SIZE),
      logic_(settings, *this) {
  QAbstractButton* ok = AddOk(LAYOUT_ADVANCED_OK);
  AddGroup(kIdTargetGroup, QStringLiteral("Target CF"), LAYOUT_TARGET_GROUP);
  AddGroup(kIdBackupGroup, QStringLiteral("Backup/Restore"), LAYOUT_BACKUP_GROUP);
  QAbstractButton* createBackup =
      AddChoice(kIdCreateBackup, false, QStringLiteral("Create Backup"), LAYOUT_CREATE_BACKUP);
  AddChoice(kIdRestoreOnly, false, QStringLiteral("Restore Only"), LAYOUT_RESTORE_ONLY);
  AddChoice(kIdEngine, true, QStringLiteral("Engine"), LAYOUT_ENGINE);
  AddChoice(kIdPanel, true, QStringLiteral("Panel"), LAYOUT_PANEL);
  connect(createBackup, &QAbstractButton::clicked, this, [this] { logic_.OnCreateBackupClicked(); });
  connect(ok, &QAbstractButton::clicked, this, [this] {
    logic_.OnOK();
    accept();
  });
  logic_.OnInitDialog();
}

ChoosePanelTypeWindow::ChoosePanelTypeWindow(QWidget* parent)
    : SettingsWindowBase(parent, QStringLiteral("Please Choose Panel Type"), LAYOUT_CHOOSE_PANEL_SIZE),
      logic_(*this) {
  QAbstractButton* ok = AddOk(LAYOUT_CHOOSE_PANEL_OK);
  AddChoice(kId3940, true, QStringLiteral("3940"), LAYOUT_3940);
  AddChoice(kId3950, true, QStringLiteral("3950"), LAYOUT_3950);
  connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
  logic_.OnInitDialog();
}

int ChoosePanelTypeWindow::ChooseModel(int* type) {
  const int result = exec();
  if (result == QDialog::Accepted && type != nullptr) *type = logic_.OnOK();
  return result;
}

}  // namespace cw
