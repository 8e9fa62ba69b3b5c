#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

namespace cw {

QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  // As Windows measures a dialog font: the mean width of the 52 letters, rounded, and the
  // full line height.
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (letters / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  const int left = x * baseX_ / 4;
  const int top = y * baseY_ / 8;
  const int right = (x + width) * baseX_ / 4;
  const int bottom = (y + height) * baseY_ / 8;
  return QRect(left, top, right - left, bottom - top);
}

QSize DialogUnits::Size(int width, int height) const {
  return QSize(width * baseX_ / 4, height * baseY_ / 8);
}

QString ControlName(int id) { return QString::number(id); }

void PlaceControl(QWidget* control, const DialogUnits& units, int id, int x, int y, int width,
                  int height) {
  control->setObjectName(ControlName(id));
  control->setGeometry(units.Rect(x, y, width, height));
}

}  // namespace cw
