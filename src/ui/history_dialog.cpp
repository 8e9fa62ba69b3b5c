#include "ui/history_dialog.h"

#include <algorithm>

#include "journal/journal_file.h"
#include "platform/platform.h"

namespace cw {

void CHistoryDlg::OnInitDialog() {
  const std::string shown = platform_.DisplayPath(JournalPath(dataFolder_));
  if (!ReadJournalBytes(platform_, dataFolder_, &bytes_)) {
    bytes_.clear();
    view_.SetCardChoices({kAllCards});
    view_.SetRows({});
    view_.SetNote(JournalUnreadableText(shown, GetLastError()));
    return;
  }
  rows_ = JournalRows(bytes_);
  const std::vector<size_t> incomplete = IncompleteLines(rows_);
  if (!incomplete.empty()) incompleteNote_ = IncompleteLinesText(incomplete);
  // The cards in the order their last entries came, the latest first.
  std::vector<std::string> choices{kAllCards};
  for (const JournalRow* row : SelectRows(rows_, JournalFilter{}))
    if (!row->cardSerial.empty() &&
        std::find(choices.begin(), choices.end(), row->cardSerial) == choices.end())
      choices.push_back(row->cardSerial);
  view_.SetCardChoices(choices);
  if (choices.size() == 1 && incomplete.empty()) {
    view_.SetRows({});
    view_.SetNote(NoJournalEntriesText(shown));
    return;
  }
  OnCardChosen(kAllCards);
}

void CHistoryDlg::OnCardChosen(const std::string& choice) {
  JournalFilter filter;
  if (choice != kAllCards) filter.cardSerial = choice;
  std::vector<std::vector<std::string>> rows;
  for (const JournalRow* row : SelectRows(rows_, filter)) {
    const auto cells = JournalCells(*row);
    rows.emplace_back(cells.begin(), cells.end());
  }
  view_.SetRows(rows);
  std::string note = std::to_string(rows.size()) + (rows.size() == 1 ? " entry" : " entries");
  if (!incompleteNote_.empty()) note += ". " + incompleteNote_;
  view_.SetNote(note);
}

}  // namespace cw
