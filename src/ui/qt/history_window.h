#pragma once
// The Qt dialog "History" (IDD_HISTORY): the card journal's entries in a list, a card choice
// above it. Its rules are in CHistoryDlg.

#include <QDialog>

#include <string>
#include <vector>

#include "ui/history_dialog.h"

class QComboBox;
class QLabel;
class QTreeWidget;

namespace cw {

class HistoryWindow : public QDialog, public HistoryView {
  Q_OBJECT

 public:
  // Reads the journal of `dataFolder` through `platform` and lists it.
  HistoryWindow(Platform& platform, const std::string& dataFolder, QWidget* parent);

  void SetCardChoices(const std::vector<std::string>& choices) override;
  void SetRows(const std::vector<std::vector<std::string>>& rows) override;
  void SetNote(const std::string& text) override;

 private:
  QComboBox* card_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLabel* note_ = nullptr;
  CHistoryDlg logic_;
};

}  // namespace cw
