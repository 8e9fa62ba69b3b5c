#pragma once
// "History" (IDD_HISTORY) as a native modal dialog: the layout comes from the resources, the
// rules from ui/history_dialog.h, which the Qt window shares.

#include "ui/win32/win32_api.h"

#include <string>
#include <vector>

#include "ui/history_dialog.h"

namespace cw::win32ui {

// The card choice (a drop-down list), the report list and the note of one open dialog.
class Win32HistoryView : public HistoryView {
 public:
  explicit Win32HistoryView(HWND dialog);
  void SetCardChoices(const std::vector<std::string>& choices) override;
  void SetRows(const std::vector<std::vector<std::string>>& rows) override;
  void SetNote(const std::string& text) override;
  // The card choice's text.
  std::string CardChoice() const;

 private:
  HWND dialog_;
};

// Runs "History" modally over `parent`: the card journal of `dataFolder`.
void RunHistoryDialog(HINSTANCE instance, HWND parent, Platform& platform,
                      const std::string& dataFolder);

}  // namespace cw::win32ui
