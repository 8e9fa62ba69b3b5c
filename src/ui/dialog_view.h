#pragma once
// What the main dialog's logic needs from a window: boxes with text, marks to show, inputs to
// enable, a progress bar, a timer, a file-open dialog, the settings dialog and the history. The
// Qt window implements it; the tests implement it in memory. No toolkit types appear here.

#include <optional>
#include <string>

namespace cw {

struct AdvancedSettings;
class Platform;

// Control ids of the main dialog (layout IDD_CARDWRIGHT). They are the ids of the Windows
// window's dialog resources (ui/win32/resource_ids.h), so both faces and the tests name every
// control by the same number.
enum DialogControl : int {
  kIdPackageBox = 1000,
  kIdBrowse = 1001,
  kIdCardBox = 1002,
  kIdStore = 1004,
  kIdStatus1 = 1005,
  kIdStatus2 = 1006,
  kIdTree = 1007,
  kIdVerify = 1008,
  kIdPassMark1 = 1009,
  kIdProgress = 1010,
  kIdEngineVersion = 1011,
  kIdPanelVersion = 1012,
  kIdPassMark2 = 1013,
  kIdFailMark1Right = 1032,
  kIdFailMark1Left = 1033,
  kIdFailMark2Left = 1034,
  kIdFailMark2Right = 1035,
  kIdAdvanced = 1047,
  kIdHistory = 1048,
};

// The id of the dialog's job timer.
constexpr int kJobTimerId = 999;
constexpr int kJobTimerPeriodMs = 20;

class DialogView {
 public:
  virtual ~DialogView() = default;

  // Setting a box's text does not call the logic's change handler; the logic calls it itself,
  // so every view behaves alike.
  virtual void SetText(int id, const std::string& text) = 0;
  virtual std::string GetText(int id) const = 0;
  virtual void Show(int id, bool show) = 0;
  virtual void Enable(int id, bool enable) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // The bar's range takes 16-bit values, as the logic passes them.
  virtual void SetProgressRange(int min, int max) = 0;
  virtual void SetProgressPos(int pos) = 0;
  // Starts a periodic timer that calls the logic's OnTimer; returns its identifier (0: none).
  virtual int StartTimer(int id, int periodMs) = 0;
  virtual void KillTimer(int timerId) = 0;
  // A modal file-open dialog over package files. `initialPath` is a host path (a file, or a
  // folder pattern like "/data/*.FWP"). Returns the chosen file's path, nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(const std::string& title,
                                                const std::string& initialPath) = 0;
  // Runs "Advanced Settings" modally on the window's `settings`.
  virtual void RunAdvancedSettings(AdvancedSettings& settings) = 0;
  // Runs "History" modally: the card journal of `dataFolder`, read through `platform`.
  virtual void RunHistory(Platform& platform, const std::string& dataFolder) = 0;
  // Closes the window as its close box would (the logic's OnClose then allows it).
  virtual void CloseWindow() = 0;
};

}  // namespace cw
