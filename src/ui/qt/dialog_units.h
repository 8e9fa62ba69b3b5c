#pragma once
// Dialog templates give positions in dialog units: a quarter of the dialog font's average
// character width across, an eighth of its height down. Converting with the font in use keeps
// the templates' proportions and lets the layout grow with the font.

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

namespace cw {

// The templates' font, "MS Sans Serif" 8 pt, or the closest sans-serif font the host has.
QFont DialogFont();

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;
  int baseX() const { return baseX_; }
  int baseY() const { return baseY_; }

 private:
  int baseX_;
  int baseY_;
};

// Places a control at its template position and names it by its id (the numeric text), the
// name tests find it by.
void PlaceControl(QWidget* control, const DialogUnits& units, int id, int x, int y, int width,
                  int height);

// The object name a control of id `id` carries.
QString ControlName(int id);

}  // namespace cw
