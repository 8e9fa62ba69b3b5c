#include "ui/run_window.h"

#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidgetItem>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "record/prompt.h"
#include "ui/qt/artwork.h"
#include "ui/qt/dir_tree_widget.h"
#include "ui/qt/end_requests.h"
#include "ui/qt/main_window.h"
#include "ui/qt/window_prompt.h"

namespace cw {
namespace {

// The application object: runs the main dialog modally; the program ends when it closes.
class CCardwrightApp {
 public:
  CCardwrightApp(Platform& platform, int& argc, char** argv)
      : platform_(platform), app_(argc, argv) {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QApplication::setWindowIcon(ApplicationIcon());
  }

  // Returns false: there is no message loop after the dialog.
  bool InitInstance(const std::string& screenshotPath) {
    WindowPrompt prompt;
    CardwrightWindow window(platform_, prompt, DefaultJobWorkers(platform_));
    prompt.SetWindow(&window);
    if (!screenshotPath.empty()) {
      screenshotSaved_ = SaveScreenshot(window, screenshotPath);
      return false;
    }
    EndRequests ends([&window] {
      window.close();
      return !window.isVisible();
    });
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
    const bool saved = Framed(window).save(QString::fromStdString(path), "PNG");
    window.hide();
    return saved;
  }

  // The client area inside a plain title bar with the icon and title, as a desktop frames it
  // (the offscreen platform draws no frame of its own).
  static QImage Framed(CardwrightWindow& window) {
    const QPixmap client = window.grab();
    const qreal ratio = client.devicePixelRatio();
    const QSize size = client.deviceIndependentSize().toSize();
    const int bar = std::max(24, window.fontMetrics().height() + 12);
    QImage image(QSize(size.width() + 2, size.height() + bar + 1) * ratio,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(0x3a, 0x4a, 0x5c));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient title(0, 0, 0, bar);
    title.setColorAt(0, QColor(0x44, 0x62, 0x88));
    title.setColorAt(1, QColor(0x2e, 0x47, 0x66));
    p.fillRect(QRect(1, 1, size.width(), bar - 1), title);
    const int iconSide = 16;
    p.drawPixmap(QPoint(8, (bar - iconSide) / 2), window.windowIcon().pixmap(iconSide));
    QFont bold = window.font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::white);
    p.drawText(QRect(8 + iconSide + 8, 0, size.width() - 70, bar), Qt::AlignVCenter,
               window.windowTitle());
    const QPointF close(size.width() - bar / 2.0, bar / 2.0);
    const qreal arm = 4.0;
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(close + QPointF(-arm, -arm), close + QPointF(arm, arm));
    p.drawLine(close + QPointF(-arm, arm), close + QPointF(arm, -arm));
    p.drawPixmap(QPoint(1, bar), client);
    p.end();
    return image;
  }

  Platform& platform_;
  QApplication app_;
  bool screenshotSaved_ = false;
};

}  // namespace

void UseCallersConsole() {}

int RunWindow(Platform& platform, int argc, char** argv) {
  const char* screenshotVariable = std::getenv("CARDWRIGHT_SCREENSHOT");
  const std::string screenshot = screenshotVariable == nullptr ? "" : screenshotVariable;
  int qtArgc = argc;
  CCardwrightApp app(platform, qtArgc, argv);
  app.InitInstance(screenshot);
  if (!screenshot.empty() && !app.screenshotSaved()) {
    std::fprintf(stderr, "cardwright: could not write the screenshot %s\n", screenshot.c_str());
    return 1;
  }
  return 0;
}

}  // namespace cw
