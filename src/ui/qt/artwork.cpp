#include "ui/qt/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace cw {
namespace {

QPixmap Canvas(const QSize& size, qreal ratio) {
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// A square of side `side` centred in `size`.
QRectF CentredSquare(const QSize& size, qreal side) {
  return QRectF((size.width() - side) / 2.0, (size.height() - side) / 2.0, side, side);
}

// A CompactFlash card with its pin row and a label, the arrow of a download on it.
void DrawCard(QPainter& p, qreal s) {
  p.scale(s / 32.0, s / 32.0);
  QPainterPath body;
  body.addRoundedRect(QRectF(4, 2, 24, 28), 2.5, 2.5);
  QLinearGradient metal(0, 2, 0, 30);
  metal.setColorAt(0, QColor(0x4a, 0x5d, 0x73));
  metal.setColorAt(1, QColor(0x2b, 0x38, 0x48));
  p.setPen(QPen(QColor(0x1c, 0x25, 0x30), 1));
  p.setBrush(metal);
  p.drawPath(body);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xc9, 0xd3, 0xde));
  for (int i = 0; i < 8; ++i) p.drawRect(QRectF(6.5 + i * 2.5, 3.5, 1.2, 2));
  p.setBrush(QColor(0xf4, 0xf6, 0xf8));
  p.drawRoundedRect(QRectF(7, 8, 18, 19), 1.5, 1.5);
  QPainterPath arrow;
  arrow.moveTo(13.5, 10.5);
  arrow.lineTo(18.5, 10.5);
  arrow.lineTo(18.5, 17);
  arrow.lineTo(22, 17);
  arrow.lineTo(16, 24);
  arrow.lineTo(10, 17);
  arrow.lineTo(13.5, 17);
  arrow.closeSubpath();
  p.setBrush(QColor(0x2e, 0x9d, 0x3a));
  p.drawPath(arrow);
}

}  // namespace

QImage ApplicationIconImage(int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawCard(p, side);
  p.end();
  return image;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128})
    icon.addPixmap(QPixmap::fromImage(ApplicationIconImage(side)));
  return icon;
}

QPixmap PassMarkPixmap(const QSize& size, qreal ratio) {
  QPixmap pixmap = Canvas(size, ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF square = CentredSquare(size, std::min(size.width(), size.height()) - 1.0);
  p.translate(square.topLeft());
  p.scale(square.width() / 24.0, square.height() / 24.0);

  QRadialGradient green(QPointF(9, 8), 16);
  green.setColorAt(0, QColor(0x5c, 0xc8, 0x5f));
  green.setColorAt(1, QColor(0x1f, 0x7a, 0x2c));
  p.setPen(QPen(QColor(0x17, 0x5c, 0x21), 0.8));
  p.setBrush(green);
  p.drawEllipse(QRectF(0.5, 0.5, 23, 23));

  // Cuff, then the fist with the thumb raised.
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(4.6, 11, 3, 8.2), 0.6, 0.6);
  QPainterPath hand;
  hand.moveTo(8.6, 11.4);
  hand.lineTo(11.6, 7.6);
  hand.lineTo(12.4, 4.6);
  hand.quadTo(12.7, 3.6, 13.7, 3.8);
  hand.quadTo(15.4, 4.3, 14.9, 7.0);
  hand.lineTo(14.3, 9.6);
  hand.lineTo(18.2, 9.6);
  hand.quadTo(19.8, 9.7, 19.6, 11.3);
  hand.lineTo(18.0, 18.4);
  hand.quadTo(17.6, 19.3, 16.6, 19.3);
  hand.lineTo(9.8, 19.3);
  hand.quadTo(8.6, 19.3, 8.6, 18.1);
  hand.closeSubpath();
  p.drawPath(hand);
  // The folds between the fingers.
  p.setPen(QPen(QColor(0x2e, 0x8f, 0x38), 0.55, Qt::SolidLine, Qt::RoundCap));
  for (qreal y : {12.0, 14.4, 16.8}) p.drawLine(QPointF(15.0, y), QPointF(19.2, y));
  return pixmap;
}

QPixmap FailMarkPixmap(const QSize& size, qreal ratio) {
  QPixmap pixmap = Canvas(size, ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // The triangle is a little wider than high, as the picture's box is; the outline's round
  // joins need room beyond the corners.
  const qreal pen = std::max<qreal>(1.0, size.height() / 16.0);
  const qreal margin = pen + 0.5;
  const qreal h = size.height() - 2 * margin;
  const qreal w = std::min<qreal>(size.width() - 2 * margin, h * 1.16);
  const QRectF box((size.width() - w) / 2.0, margin, w, h);
  QPainterPath triangle;
  triangle.moveTo(box.center().x(), box.top());
  triangle.lineTo(box.right(), box.bottom());
  triangle.lineTo(box.left(), box.bottom());
  triangle.closeSubpath();
  QLinearGradient amber(box.topLeft(), box.bottomLeft());
  amber.setColorAt(0, QColor(0xff, 0xde, 0x4a));
  amber.setColorAt(1, QColor(0xf2, 0xb4, 0x00));
  p.setPen(QPen(QColor(0x5a, 0x44, 0x00), pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(amber);
  p.drawPath(triangle);

  // The exclamation mark: a tapering bar and a dot.
  const qreal cx = box.center().x();
  const qreal unit = h / 24.0;
  QPainterPath bar;
  bar.moveTo(cx - 1.6 * unit, box.top() + 8.0 * unit);
  bar.lineTo(cx + 1.6 * unit, box.top() + 8.0 * unit);
  bar.lineTo(cx + 0.9 * unit, box.top() + 16.5 * unit);
  bar.lineTo(cx - 0.9 * unit, box.top() + 16.5 * unit);
  bar.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1a, 0x1a, 0x1a));
  p.drawPath(bar);
  p.drawEllipse(QPointF(cx, box.top() + 19.6 * unit), 1.5 * unit, 1.5 * unit);
  return pixmap;
}

}  // namespace cw
