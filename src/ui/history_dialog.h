#pragma once
// The rules of "History" (IDD_HISTORY): the card journal of the data folder, newest first, with
// a choice of card that narrows the list to that card's entries. A HistoryView holds the card
// choice, the list and the note above it; the Qt and Windows dialogs both show it.

#include <string>
#include <string_view>
#include <vector>

#include "journal/journal_list.h"

namespace cw {

class Platform;

enum HistoryControl : int {
  kIdHistoryClose = 2,  // Windows' IDCANCEL: Esc and the close box end the dialog as it does
  kIdHistoryList = 1050,
  kIdHistoryCard = 1051,
  kIdHistoryNote = 1052,
};

// The card choice that lists every card; the others are card serials.
inline constexpr const char* kAllCards = "All cards";

class HistoryView {
 public:
  virtual ~HistoryView() = default;
  // Fills the card choice; the first is chosen.
  virtual void SetCardChoices(const std::vector<std::string>& choices) = 0;
  // Replaces the list's rows; each has one text per column of kJournalColumns.
  virtual void SetRows(const std::vector<std::vector<std::string>>& rows) = 0;
  virtual void SetNote(const std::string& text) = 0;
};

class CHistoryDlg {
 public:
  CHistoryDlg(Platform& platform, std::string dataFolder, HistoryView& view)
      : platform_(platform), dataFolder_(std::move(dataFolder)), view_(view) {}
  // Reads the journal once and lists every card's entries.
  void OnInitDialog();
  // The card choice changed to `choice` (kAllCards or a serial).
  void OnCardChosen(const std::string& choice);

 private:
  Platform& platform_;
  std::string dataFolder_;
  HistoryView& view_;
  std::string bytes_;              // the journal as read; rows_ views into it
  std::vector<JournalRow> rows_;
  std::string incompleteNote_;     // empty when every line is whole
};

}  // namespace cw
