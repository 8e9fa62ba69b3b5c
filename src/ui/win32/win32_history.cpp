#include "ui/win32/win32_history.h"

#include <optional>

#include "ui/win32/resource_ids.h"

namespace cw::win32ui {
namespace {

// What one open dialog keeps: its view and its rules, made in WM_INITDIALOG.
struct HistoryState {
  Platform& platform;
  std::string dataFolder;
  std::optional<Win32HistoryView> view{};
  std::optional<CHistoryDlg> logic{};
};

INT_PTR CALLBACK HistoryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* state = reinterpret_cast<HistoryState*>(lParam);
    state->view.emplace(dialog);
    state->logic.emplace(state->platform, state->dataFolder, *state->view);
    state->logic->OnInitDialog();
    return TRUE;
  }
  auto* state = reinterpret_cast<HistoryState*>(::GetWindowLongPtrA(dialog, DWLP_USER));
  if (message != WM_COMMAND || state == nullptr || !state->logic) return FALSE;
  switch (LOWORD(wParam)) {
    case kIdHistoryCard:
      if (HIWORD(wParam) == CBN_SELCHANGE) state->logic->OnCardChosen(state->view->CardChoice());
      return TRUE;
    case IDOK:  // Enter
    case IDCANCEL:  // "Close", Esc and the close box
      ::EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

Win32HistoryView::Win32HistoryView(HWND dialog) : dialog_(dialog) {
  HWND list = ::GetDlgItem(dialog_, kIdHistoryList);
  ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (size_t i = 0; i < kJournalColumns.size(); ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(kJournalColumns[i]);
    column.iSubItem = static_cast<int>(i);
    ::SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
}

void Win32HistoryView::SetCardChoices(const std::vector<std::string>& choices) {
  HWND card = ::GetDlgItem(dialog_, kIdHistoryCard);
  ::SendMessageA(card, CB_RESETCONTENT, 0, 0);
  for (const std::string& choice : choices)
    ::SendMessageA(card, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
  ::SendMessageA(card, CB_SETCURSEL, 0, 0);
}

void Win32HistoryView::SetRows(const std::vector<std::vector<std::string>>& rows) {
  HWND list = ::GetDlgItem(dialog_, kIdHistoryList);
  ::SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(r);
      item.iSubItem = static_cast<int>(c);
      item.pszText = const_cast<char*>(rows[r][c].c_str());
      ::SendMessageA(list, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, r,
                     reinterpret_cast<LPARAM>(&item));
    }
  }
  for (size_t c = 0; c < kJournalColumns.size(); ++c)
    ::SendMessageA(list, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE_USEHEADER);
  ::SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(list, nullptr, TRUE);
}

void Win32HistoryView::SetNote(const std::string& text) {
  ::SetDlgItemTextA(dialog_, kIdHistoryNote, text.c_str());
}

std::string Win32HistoryView::CardChoice() const {
  HWND card = ::GetDlgItem(dialog_, kIdHistoryCard);
  const LRESULT index = ::SendMessageA(card, CB_GETCURSEL, 0, 0);
  const LRESULT length = ::SendMessageA(card, CB_GETLBTEXTLEN, index, 0);
  if (index == CB_ERR || length == CB_ERR) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  ::SendMessageA(card, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

void RunHistoryDialog(HINSTANCE instance, HWND parent, Platform& platform,
                      const std::string& dataFolder) {
  HistoryState state{platform, dataFolder};
  ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_HISTORY), parent, HistoryProc,
                    reinterpret_cast<LPARAM>(&state));
}

}  // namespace cw::win32ui
