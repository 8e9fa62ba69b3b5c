#pragma once
// The pictures of the window, drawn by the program: the application icon, the thumbs-up pass
// mark and the warning-triangle fail mark.

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace cw {

QIcon ApplicationIcon();
// The application icon as a square image of `side` pixels (also for the desktop's icon theme,
// rendered at build time; needs no running application).
QImage ApplicationIconImage(int side);
// Both fill `size` (device-independent pixels), centred, keeping their own proportions.
QPixmap PassMarkPixmap(const QSize& size, qreal devicePixelRatio);
QPixmap FailMarkPixmap(const QSize& size, qreal devicePixelRatio);

}  // namespace cw
