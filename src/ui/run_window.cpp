#include "ui/run_window.h"

#include <QApplication>
#include <QPixmap>
#include <QTreeWidgetItem>

#include <cstdio>
#include <cstring>
#include <string>

#include "job/prompt.h"
#include "ui/artwork.h"
#include "ui/dir_tree_widget.h"
#include "ui/main_window.h"
#include "ui/window_prompt.h"

namespace cw {
namespace {

// The application object: runs the main dialog modally; the program ends when it closes.
class CCardwrightApp {
 public:
  CCardwrightApp(int& argc, char** argv) : app_(argc, argv) {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QApplication::setWindowIcon(ApplicationIcon());
  }

  // Returns false: there is no message loop after the dialog.
  bool InitInstance(const std::string& screenshotPath) {
    WindowPrompt prompt;
    CardwrightWindow window(prompt, DefaultJobWorkers());
    prompt.SetWindow(&window);
    if (!screenshotPath.empty()) {
      screenshotSaved_ = SaveScreenshot(window, screenshotPath);
      return false;
    }
    window.exec();
    return false;
  }

  bool screenshotSaved() const { return screenshotSaved_; }

 private:
  // The window as an operator sees it after choosing the first card drive in the tree.
  static bool SaveScreenshot(CardwrightWindow& window, const std::string& path) {
    window.show();
    if (QTreeWidgetItem* first = window.tree()->topLevelItem(0)) {
      first->setSelected(true);
      window.tree()->setCurrentItem(first);
      first->setExpanded(true);
    }
    QApplication::processEvents();
    const bool saved = window.grab().save(QString::fromStdString(path), "PNG");
    window.hide();
    return saved;
  }

  QApplication app_;
  bool screenshotSaved_ = false;
};

}  // namespace

int RunWindow(int argc, char** argv) {
  std::string screenshot;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = argv[i + 1];
  int qtArgc = argc;
  CCardwrightApp app(qtArgc, argv);
  app.InitInstance(screenshot);
  if (!screenshot.empty() && !app.screenshotSaved()) {
    std::fprintf(stderr, "cardwright: could not write the screenshot %s\n", screenshot.c_str());
    return 1;
  }
  return 0;
}

}  // namespace cw
