#include "dialog_driver.h"

#include <memory>

namespace cw::test {
namespace {

struct Pending {
  std::string caption;
  std::function<void(HWND)> act;
};
std::unique_ptr<Pending> pending;

BoxAnswerer* answerer = nullptr;  // the one that lives, if any

void CALLBACK CheckPending(HWND, UINT, UINT_PTR timer, DWORD) {
  if (!pending) {
    ::KillTimer(nullptr, timer);
    return;
  }
  HWND dialog = FindDialog(pending->caption);
  if (dialog == nullptr) return;
  ::KillTimer(nullptr, timer);
  std::unique_ptr<Pending> now = std::move(pending);
  now->act(dialog);
}

}  // namespace

bool PumpUntil(HWND dialog, const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  MSG message;
  while (!done()) {
    if (::GetTickCount() - start > timeoutMs) return false;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (dialog == nullptr || !::IsWindow(dialog) || !::IsDialogMessageA(dialog, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
      }
    }
    ::Sleep(2);
  }
  return true;
}

namespace {

struct Search {
  const std::string* caption;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  char className[32] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (std::string(className) == "#32770" && ::IsWindowVisible(window) &&
      TextOf(window) == *search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM data) {
  char className[32] = {};
  ::GetClassNameA(child, className, sizeof className);
  const std::string text = TextOf(child);
  if (std::string(className) == "Static" && !text.empty())
    *reinterpret_cast<std::string*>(data) += text + "\n";
  return TRUE;
}

}  // namespace

HWND FindDialog(const std::string& caption) {
  Search search{&caption, nullptr};
  ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string StaticTexts(HWND dialog) {
  std::string texts;
  ::EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

void Click(HWND dialog, int id) {
  ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void WhenDialogOpens(const std::string& caption, std::function<void(HWND)> act) {
  pending = std::make_unique<Pending>(Pending{caption, std::move(act)});
  ::SetTimer(nullptr, 0, 20, CheckPending);
}

BoxAnswerer::BoxAnswerer(std::string caption, int answer)
    : caption_(std::move(caption)), answer_(answer) {
  answerer = this;
  timer_ = ::SetTimer(nullptr, 0, 20, Check);
}

BoxAnswerer::~BoxAnswerer() {
  ::KillTimer(nullptr, timer_);
  answerer = nullptr;
}

void CALLBACK BoxAnswerer::Check(HWND, UINT, UINT_PTR, DWORD) {
  if (answerer == nullptr) return;
  HWND box = FindDialog(answerer->caption_);
  if (box == nullptr || box == answerer->answered_) return;
  answerer->answered_ = box;
  answerer->messages_.push_back(StaticTexts(box));
  ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(answerer->answer_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, answerer->answer_)));
}

RECT ClientRectOf(HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string TextOf(HWND control) {
  if (::GetWindowThreadProcessId(control, nullptr) == ::GetCurrentThreadId()) {
    char text[1024] = {};
    ::GetWindowTextA(control, text, sizeof text);
    return text;
  }
  // Another thread's window is read without a message: that thread may be busy.
  wchar_t text[1024] = {};
  const int length = ::InternalGetWindowText(control, text, 1024);
  std::string narrow;
  for (int i = 0; i < length; ++i) narrow += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  return narrow;
}

std::vector<std::string> ListColumn(HWND list, int column) {
  std::vector<std::string> texts;
  const LRESULT rows = ::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
  for (LRESULT row = 0; row < rows; ++row) {
    char text[256] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    texts.push_back(text);
  }
  return texts;
}

void ChooseComboItem(HWND combo, int index) {
  ::SendMessageA(combo, CB_SETCURSEL, index, 0);
  ::SendMessageA(::GetParent(combo), WM_COMMAND,
                 MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

}  // namespace cw::test
