#pragma once
// The Qt face of the main dialog (layout IDD_CARDWRIGHT): its controls at their layout positions,
// named by their ids. It implements DialogView and passes every event to CCardwrightDlg.

#include <QDialog>
#include <QHash>

#include <functional>
#include <memory>
#include <optional>

#include "ui/cardwright_dlg.h"
#include "ui/dialog_view.h"

class QLineEdit;
class QProgressBar;

namespace cw {

class DirTreeWidget;

class CardwrightWindow : public QDialog, public DialogView {
  Q_OBJECT

 public:
  // Builds the controls and runs the dialog's start-up (OnInitDialog).
  // The dialog works on `platform`, which outlives the window.
  CardwrightWindow(Platform& platform, Prompt& prompt, JobWorkers workers,
                   QWidget* parent = nullptr);
  ~CardwrightWindow() override;

  CCardwrightDlg& logic() { return *logic_; }
  DirTreeWidget* tree() const { return tree_; }

  // Replaces the file-open dialog (tests); the chooser gets title and initial path.
  using FileChooser = std::function<std::optional<std::string>(const std::string&, const std::string&)>;
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

  // Esc (QDialog's close calls it too): ends the dialog as the logic's OnEscape allows.
  void reject() override;

 protected:
  void timerEvent(QTimerEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ConnectControls();
  QLineEdit* Edit(int id) const;

  QHash<int, QWidget*> controls_;
  DirTreeWidget* tree_ = nullptr;
  QProgressBar* progress_ = nullptr;
  int progressMin_ = 0;
  int progressMax_ = 100;
  FileChooser fileChooser_;
  std::unique_ptr<CCardwrightDlg> logic_;
};

}  // namespace cw
