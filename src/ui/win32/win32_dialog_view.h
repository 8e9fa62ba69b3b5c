#pragma once
// The Windows face of the main dialog: layout IDD_CARDWRIGHT from the resources, created with
// CreateDialogParam (tests, the screenshot) or run with DialogBoxParam. It implements
// DialogView and the tree's TreeView over the native controls and passes every message to
// CCardwrightDlg, which holds all the rules.

#include "ui/win32/win32_api.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/cardwright_dlg.h"
#include "ui/dialog_view.h"
#include "ui/dir_tree_ctrl.h"
#include "ui/win32/win32_prompt.h"

namespace cw::win32ui {

class Win32DialogView : public DialogView, public TreeView, public DriveProber {
 public:
  // The dialog works on `platform`, which outlives the window.
  Win32DialogView(Platform& platform, HINSTANCE instance, Win32Prompt& prompt, JobWorkers workers);
  // A job still running is asked to stop, as by the close box, and waited for while the card
  // may have changed (an application quit ends the modal loop early); the logic's own close
  // wait covers a job that has not changed the card.
  ~Win32DialogView() override;
  Win32DialogView(const Win32DialogView&) = delete;
  Win32DialogView& operator=(const Win32DialogView&) = delete;

  // Creates the dialog without a message loop of its own and runs its start-up; nullptr when
  // the template cannot be made. The caller pumps messages (IsDialogMessage) and closes it
  // with WM_CLOSE; the window is gone once hwnd() is nullptr again.
  HWND Create(HWND parent = nullptr);
  // Runs the dialog modally until it closes, as the program does.
  void RunModal();

  HWND hwnd() const { return hwnd_; }
  CCardwrightDlg& logic() { return *logic_; }

  // Replaces the file-open dialog (tests); the chooser gets title and initial path.
  using FileChooser =
      std::function<std::optional<std::string>(const std::string&, const std::string&)>;
  void SetFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }

  // DialogView
  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) const override;
  void Show(int id, bool show) override;
  void Enable(int id, bool enable) override;
  void SetTitle(const std::string& title) override;
  void SetProgressRange(int min, int max) override;
  void SetProgressPos(int pos) override;
  int StartTimer(int id, int periodMs) override;
  void KillTimer(int timerId) override;
  std::optional<std::string> ChooseFile(const std::string& title,
                                        const std::string& initialPath) override;
  void RunAdvancedSettings(AdvancedSettings& settings) override;
  void RunHistory(Platform& platform, const std::string& dataFolder) override;
  void CloseWindow() override;

  // TreeView, over the tree control 1007 with the shell's small system icons.
  bool AttachImageList() override;
  bool LookUpIcons(const std::string& path, bool isDrive, ItemIcons* icons) override;
  Item InsertItemBefore(Item parent, Item before, const std::string& label,
                        const ItemIcons& icons, const std::string& toolTip) override;
  std::vector<Item> Children(Item parent) const override;
  void DeleteItem(Item item) override;
  void InsertPlaceholder(Item parent) override;
  void DeleteChildren(Item item) override;
  void DeleteAll() override;
  Item Parent(Item item) const override;
  std::string Label(Item item) const override;
  void SetBusy(bool busy) override;

  // DriveProber: each drive on a thread of its own, its result posted back to the window, so
  // a drive that does not answer (a disconnected network drive) never freezes the window. The
  // view's end waits for probes still running.
  void Probe(const std::vector<std::string>& drives,
             std::function<DriveProbe(const std::string&)> probe,
             std::function<void(const DriveProbe&)> done) override;
  // Drive probes whose results the window has not taken yet.
  int probesPending() const { return probesPending_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(int id, int code);
  void OnNotify(const NMHDR* header);
  // Ends the dialog once the logic allows it (no job, or the job has ended): EndDialog when
  // modal, else destroyed. While a job stops the window stays; the logic closes it later.
  void End(bool byClose);
  void OnDestroyWindow();
  // Windows asks whether the session may end: not while the card may have changed. The job is
  // asked to stop (as by the close box), the shutdown screen says why Cardwright holds it up,
  // and the answer is no until the job has ended, its restore included.
  BOOL OnQueryEndSession();
  // The session ends (`ending`) and the process with it once this returns: the job is asked
  // to stop and waited for, without end while the card may have changed.
  void OnEndSession(bool ending);
  // Runs the window's messages until the running job has ended; while the card has not begun
  // to change, at most `unchangedWaitMs` (the logic's close wait then applies).
  void WaitForJob(DWORD unchangedWaitMs);
  void ReleaseShutdownBlock();
  HWND Control(int id) const { return ::GetDlgItem(hwnd_, id); }
  HWND Tree() const { return Control(kIdTree); }

  Platform& platform_;
  HINSTANCE instance_;
  Win32Prompt& prompt_;
  JobWorkers workers_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;
  bool settingText_ = false;  // a text the logic sets fires no change handler
  bool blockingShutdown_ = false;  // ShutdownBlockReasonCreate holds
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HICON passMark_ = nullptr;  // both pass marks', as drawn for the window's DPI
  HCURSOR cursorBeforeBusy_ = nullptr;
  std::vector<HBITMAP> bitmaps_;
  FileChooser fileChooser_;
  std::unique_ptr<CCardwrightDlg> logic_;
  std::function<void(const DriveProbe&)> probeDone_;
  std::vector<std::thread> probes_;
  std::atomic<int> probesPending_{0};
};

}  // namespace cw::win32ui
