#include "ui/win32/win32_dialog_view.h"

#include <algorithm>
#include <vector>

#include "session/front_end.h"
#include "record/job_context.h"
#include "ui/win32/pictures.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_history.h"
#include "ui/win32/win32_settings.h"

namespace cw::win32ui {
namespace {

HTREEITEM AsItem(TreeView::Item item) { return static_cast<HTREEITEM>(item); }

// The logic's close wait (10 s) for a job that has not begun to change the card.
constexpr DWORD kCloseWaitMs = 10000;
// A drive probe's result, posted to the window; lParam holds the DriveProbe it takes over.
constexpr UINT kDriveProbedMessage = WM_APP + 1;

// The bitmap controls and the pictures they show.
constexpr struct {
  int control;
  int bitmap;
} kBitmapControls[] = {
    {IDB_STEP1_LABEL, IDB_STEP1_LABEL}, {IDB_STEP2_LABEL, IDB_STEP2_LABEL},
    {IDB_STEP3_LABEL, IDB_STEP3_LABEL}, {kIdFailMark1Left, IDB_FAIL_MARK},
    {kIdFailMark1Right, IDB_FAIL_MARK}, {kIdFailMark2Left, IDB_FAIL_MARK},
    {kIdFailMark2Right, IDB_FAIL_MARK},
};

}  // namespace

Win32DialogView::Win32DialogView(Platform& platform, HINSTANCE instance, Win32Prompt& prompt,
                                 JobWorkers workers)
    : platform_(platform), instance_(instance), prompt_(prompt), workers_(std::move(workers)) {
  logic_ = std::make_unique<CCardwrightDlg>(platform, *this, *this, prompt_, workers_);
  logic_->tree().SetDriveProber(this);
}

Win32DialogView::~Win32DialogView() {
  if (logic_->jobActive()) {
    logic_->OnClose();
    WaitForJob(0);
  }
  ReleaseShutdownBlock();
  for (std::thread& probe : probes_) probe.join();  // they use the tree's logic
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
  logic_.reset();  // joins a worker that was asked to stop
}

HWND Win32DialogView::Create(HWND parent) {
  modal_ = false;
  return ::CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_CARDWRIGHT), parent, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

void Win32DialogView::RunModal() {
  modal_ = true;
  ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_CARDWRIGHT), nullptr, DialogProc,
                    reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32DialogView::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* view = reinterpret_cast<Win32DialogView*>(lParam);
    ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    view->hwnd_ = hwnd;
    view->OnInitDialog();
    return TRUE;  // the default focus
  }
  auto* view = reinterpret_cast<Win32DialogView*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
  return view == nullptr ? FALSE : view->Handle(message, wParam, lParam);
}

INT_PTR Win32DialogView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY:
      OnNotify(reinterpret_cast<const NMHDR*>(lParam));
      ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_TIMER:
      if (wParam == static_cast<WPARAM>(kJobTimerId)) logic_->OnTimer();
      if (blockingShutdown_ && !logic_->jobActive()) ReleaseShutdownBlock();
      return TRUE;
    case WM_QUERYENDSESSION:
      // A dialog procedure's answer goes through DWLP_MSGRESULT.
      ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, OnQueryEndSession());
      return TRUE;
    case WM_ENDSESSION: {
      const HWND window = hwnd_;  // the wait may close the window
      OnEndSession(wParam != FALSE);
      if (::IsWindow(window)) ::SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
      return TRUE;
    }
    case WM_DEVICECHANGE:
      // A volume came or went (a card put into its reader or taken out).
      if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && lParam != 0 &&
          reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)->dbch_devicetype ==
              DBT_DEVTYP_VOLUME) {
        logic_->OnDrivesChanged();
      }
      return TRUE;
    case kDriveProbedMessage: {
      std::unique_ptr<DriveProbe> probe(reinterpret_cast<DriveProbe*>(lParam));
      --probesPending_;
      if (probeDone_) probeDone_(*probe);
      return TRUE;
    }
    case WM_CLOSE:
      End(true);
      return TRUE;
    case WM_DESTROY:
      OnDestroyWindow();
      return FALSE;
    default:
      return FALSE;
  }
}

void Win32DialogView::OnInitDialog() {
  bigIcon_ = static_cast<HICON>(::LoadImageA(instance_, MAKEINTRESOURCEA(IDI_APPLICATION_ICON),
                                             IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                             ::GetSystemMetrics(SM_CYICON), 0));
  smallIcon_ = static_cast<HICON>(::LoadImageA(instance_, MAKEINTRESOURCEA(IDI_APPLICATION_ICON),
                                               IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), 0));
  for (const auto& picture : kBitmapControls) {
    if (HBITMAP bitmap = SetBlendedBitmap(hwnd_, picture.control, picture.bitmap))
      bitmaps_.push_back(bitmap);
  }
  passMark_ = SetScaledIcon(hwnd_, {kIdPassMark1, kIdPassMark2}, IDI_PASS_MARK);
  ::SendMessageA(Control(kIdProgress), PBM_SETRANGE32, 0, 100);
  prompt_.SetWindow(hwnd_);
  logic_->OnInitDialog();
  ::SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  ::SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}

void Win32DialogView::OnCommand(int id, int code) {
  switch (id) {
    case kIdBrowse:
      if (code == BN_CLICKED) logic_->OnBrowseCrcFile();
      break;
    case kIdStore:
    case IDOK:  // Enter presses the default button
      if (code == BN_CLICKED) logic_->OnDownloadAndVerify();
      break;
    case kIdVerify:
      if (code == BN_CLICKED) logic_->OnVerify();
      break;
    case kIdAdvanced:
      if (code == BN_CLICKED) logic_->OnAdvanced();
      break;
    case kIdHistory:
      if (code == BN_CLICKED) logic_->OnHistory();
      break;
    case kIdPackageBox:
      if (code == EN_CHANGE && !settingText_) logic_->OnChangeEditCrcDataFile();
      break;
    case kIdCardBox:
      if (code == EN_CHANGE && !settingText_) logic_->OnChangeEditCompactFlash();
      break;
    case IDCANCEL:  // Esc
      End(false);
      break;
    default:
      break;
  }
}

void Win32DialogView::OnNotify(const NMHDR* header) {
  if (header == nullptr || header->idFrom != static_cast<UINT_PTR>(kIdTree)) return;
  // The ANSI and wide records lay out the fields read here alike.
  const auto* tree = reinterpret_cast<const NMTREEVIEWA*>(header);
  switch (header->code) {
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
      logic_->OnSelchangedTree2(tree->itemNew.hItem);
      break;
    case TVN_ITEMEXPANDEDA:
    case TVN_ITEMEXPANDEDW:
      logic_->OnItemExpanded(tree->itemNew.hItem, (tree->action & TVE_EXPAND) != 0);
      break;
    default:
      break;
  }
}

void Win32DialogView::End(bool byClose) {
  if (!(byClose ? logic_->OnClose() : logic_->OnEscape())) return;
  if (modal_)
    ::EndDialog(hwnd_, byClose ? IDOK : IDCANCEL);
  else
    ::DestroyWindow(hwnd_);
}

BOOL Win32DialogView::OnQueryEndSession() {
  if (!logic_->jobActive()) return TRUE;
  const bool cardMayHaveChanged = logic_->job().cardMayHaveChanged != 0;
  logic_->log().Log(cardMayHaveChanged
                        ? "  Windows asks to end the session: held up until the card is restored."
                        : "  Windows asks to end the session: the job is asked to stop.");
  logic_->OnClose();
  if (!cardMayHaveChanged) return TRUE;
  if (!blockingShutdown_)
    blockingShutdown_ = ::ShutdownBlockReasonCreate(hwnd_, L"Cardwright is restoring a card") != 0;
  return FALSE;
}

void Win32DialogView::OnEndSession(bool ending) {
  if (!ending) {
    // The end was called off (another program said no): the job goes on stopping as asked.
    ReleaseShutdownBlock();
    return;
  }
  if (!logic_->jobActive()) return;
  logic_->log().Log("  the session is ending: waiting for the job to end.");
  logic_->OnClose();
  WaitForJob(kCloseWaitMs);
}

void Win32DialogView::WaitForJob(DWORD unchangedWaitMs) {
  const DWORD start = ::GetTickCount();
  std::optional<WPARAM> quit;
  while (logic_->jobActive()) {
    const bool changed = logic_->job().cardMayHaveChanged != 0;
    if (!changed && ::GetTickCount() - start >= unchangedWaitMs) break;
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {  // the wait, not the quit, decides; kept for after
        quit = message.wParam;
        continue;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    // Without a window there is no timer to see the job end: its record says it.
    if (hwnd_ == nullptr && !logic_->job().jobRunning) break;
    ::Sleep(kJobTimerPeriodMs);
  }
  if (quit) ::PostQuitMessage(static_cast<int>(*quit));
}

void Win32DialogView::ReleaseShutdownBlock() {
  if (blockingShutdown_ && hwnd_ != nullptr) ::ShutdownBlockReasonDestroy(hwnd_);
  blockingShutdown_ = false;
}

void Win32DialogView::CloseWindow() {
  if (hwnd_ != nullptr) ::PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void Win32DialogView::OnDestroyWindow() {
  ReleaseShutdownBlock();
  // Windows' system image list is shared by every program: let go of it, never destroy it.
  ::SendMessageA(Tree(), TVM_SETIMAGELIST, TVSIL_NORMAL, 0);
  for (HBITMAP bitmap : bitmaps_) ::DeleteObject(bitmap);
  bitmaps_.clear();
  for (HICON* icon : {&bigIcon_, &smallIcon_, &passMark_}) {
    if (*icon != nullptr) ::DestroyIcon(*icon);
    *icon = nullptr;
  }
  prompt_.SetWindow(nullptr);
  ::SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
  hwnd_ = nullptr;
}

void Win32DialogView::SetText(int id, const std::string& text) {
  if (GetText(id) == text) return;
  settingText_ = true;
  ::SetDlgItemTextA(hwnd_, id, text.c_str());
  settingText_ = false;
}

std::string Win32DialogView::GetText(int id) const {
  HWND control = Control(id);
  if (control == nullptr) return {};
  const int length = ::GetWindowTextLengthA(control);
  std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
  const int got = ::GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

void Win32DialogView::Show(int id, bool show) {
  if (HWND control = Control(id)) ::ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

void Win32DialogView::Enable(int id, bool enable) {
  if (HWND control = Control(id)) ::EnableWindow(control, enable ? TRUE : FALSE);
}

void Win32DialogView::SetTitle(const std::string& title) { ::SetWindowTextA(hwnd_, title.c_str()); }

void Win32DialogView::SetProgressRange(int min, int max) {
  ::SendMessageA(Control(kIdProgress), PBM_SETRANGE32, static_cast<WPARAM>(min),
                 static_cast<LPARAM>(max));
}

void Win32DialogView::SetProgressPos(int pos) {
  ::SendMessageA(Control(kIdProgress), PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

int Win32DialogView::StartTimer(int id, int periodMs) {
  return static_cast<int>(::SetTimer(hwnd_, static_cast<UINT_PTR>(id), static_cast<UINT>(periodMs), nullptr));
}

void Win32DialogView::KillTimer(int timerId) { ::KillTimer(hwnd_, static_cast<UINT_PTR>(timerId)); }

std::optional<std::string> Win32DialogView::ChooseFile(const std::string& title,
                                                       const std::string& initialPath) {
  if (fileChooser_) return fileChooser_(title, initialPath);
  // A folder pattern ("C:\DATA\*.FWP") opens the dialog in that folder showing packages.
  std::vector<char> file(32768, '\0');
  std::copy_n(initialPath.begin(), std::min(initialPath.size(), file.size() - 1), file.begin());
  static const char kFilter[] = ".FWP\0*.FWP\0";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = kFilter;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_PATHMUSTEXIST | OFN_LONGNAMES | OFN_EXPLORER | OFN_HIDEREADONLY;
  if (!::GetOpenFileNameA(&dialog)) return std::nullopt;
  return std::string(file.data());
}

void Win32DialogView::RunAdvancedSettings(AdvancedSettings& settings) {
  RunAdvancedSettingsDialog(instance_, hwnd_, settings);
}
void Win32DialogView::RunHistory(Platform& platform, const std::string& dataFolder) {
  RunHistoryDialog(instance_, hwnd_, platform, dataFolder);
}

bool Win32DialogView::AttachImageList() {
  SHFILEINFOA info{};
  const auto list = reinterpret_cast<HIMAGELIST>(::SHGetFileInfoA(
      "C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (list == nullptr) return false;
  ::SendMessageA(Tree(), TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(list));
  return true;
}

bool Win32DialogView::LookUpIcons(const std::string& path, bool /*isDrive*/, ItemIcons* icons) {
  SHFILEINFOA normal{};
  SHFILEINFOA open{};
  const UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
  if (::SHGetFileInfoA(path.c_str(), 0, &normal, sizeof normal, flags) == 0 ||
      ::SHGetFileInfoA(path.c_str(), 0, &open, sizeof open, flags | SHGFI_OPENICON) == 0) {
    return false;
  }
  icons->normal = normal.iIcon;
  icons->open = open.iIcon;
  return true;
}

TreeView::Item Win32DialogView::InsertItemBefore(Item parent, Item before,
                                                 const std::string& label, const ItemIcons& icons,
                                                 const std::string& /*toolTip*/) {
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent == nullptr ? TVI_ROOT : AsItem(parent);
  // The control inserts after an item: the one before `before`, or first when there is none.
  insert.hInsertAfter = TVI_LAST;
  if (before != nullptr) {
    insert.hInsertAfter = reinterpret_cast<HTREEITEM>(::SendMessageA(
        Tree(), TVM_GETNEXTITEM, TVGN_PREVIOUS, reinterpret_cast<LPARAM>(before)));
    if (insert.hInsertAfter == nullptr) insert.hInsertAfter = TVI_FIRST;
  }
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<char*>(label.c_str());
  insert.item.iImage = icons.normal;
  insert.item.iSelectedImage = icons.open;
  return reinterpret_cast<HTREEITEM>(
      ::SendMessageA(Tree(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

std::vector<TreeView::Item> Win32DialogView::Children(Item parent) const {
  std::vector<Item> children;
  HWND tree = Tree();
  HTREEITEM child = reinterpret_cast<HTREEITEM>(
      parent == nullptr
          ? ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)
          : ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
  for (; child != nullptr; child = reinterpret_cast<HTREEITEM>(::SendMessageA(
                               tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
    children.push_back(child);
  }
  return children;
}

void Win32DialogView::DeleteItem(Item item) {
  if (item != nullptr) ::SendMessageA(Tree(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
}

void Win32DialogView::InsertPlaceholder(Item parent) {
  if (parent == nullptr) return;
  TVINSERTSTRUCTA insert{};
  insert.hParent = AsItem(parent);
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<char*>("");
  ::SendMessageA(Tree(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
}

void Win32DialogView::DeleteChildren(Item item) {
  if (item == nullptr) return;
  HWND tree = Tree();
  while (HTREEITEM child = reinterpret_cast<HTREEITEM>(
             ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)))) {
    ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child));
  }
}

void Win32DialogView::DeleteAll() {
  ::SendMessageA(Tree(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

TreeView::Item Win32DialogView::Parent(Item item) const {
  if (item == nullptr) return nullptr;
  return reinterpret_cast<HTREEITEM>(
      ::SendMessageA(Tree(), TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

std::string Win32DialogView::Label(Item item) const {
  if (item == nullptr) return {};
  char text[MAX_PATH + 1] = {};
  TVITEMA query{};
  query.mask = TVIF_TEXT;
  query.hItem = AsItem(item);
  query.pszText = text;
  query.cchTextMax = sizeof text;
  if (!::SendMessageA(Tree(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query))) return {};
  return text;
}

void Win32DialogView::Probe(const std::vector<std::string>& drives,
                            std::function<DriveProbe(const std::string&)> probe,
                            std::function<void(const DriveProbe&)> done) {
  probeDone_ = std::move(done);
  const HWND window = hwnd_;
  for (const std::string& drive : drives) {
    ++probesPending_;
    probes_.emplace_back([this, window, probe, drive] {
      // The shell's icons need COM on the thread that asks for them.
      const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      auto result = std::make_unique<DriveProbe>(probe(drive));
      if (SUCCEEDED(com)) ::CoUninitialize();
      if (::PostMessageA(window, kDriveProbedMessage, 0,
                         reinterpret_cast<LPARAM>(result.get()))) {
        result.release();  // the window's now
      } else {
        --probesPending_;  // the window is gone
      }
    });
  }
}

void Win32DialogView::SetBusy(bool busy) {
  HWND tree = Tree();
  ::SendMessageA(tree, WM_SETREDRAW, busy ? FALSE : TRUE, 0);
  if (busy) {
    cursorBeforeBusy_ = ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
  } else {
    ::SetCursor(cursorBeforeBusy_);
    ::InvalidateRect(tree, nullptr, TRUE);
  }
}

}  // namespace cw::win32ui
