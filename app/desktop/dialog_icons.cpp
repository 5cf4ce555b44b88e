#include "app/desktop/dialog_icons.h"

#include <QPainter>
#include <QPixmap>

namespace glimmer {

namespace {

// Drawn on a 32-unit grid and scaled, so both sizes show the same picture.
QPixmap drawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);

  // A greyish scanned sheet with a white cleaned strip across it.
  painter.setPen(QPen(QColor(70, 70, 70), 1.5));
  painter.setBrush(QColor(190, 185, 170));
  painter.drawRect(QRectF(5, 2, 22, 28));
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(6, 11, 20, 11));

  // Lines of text: dark on the clean strip, faint elsewhere.
  painter.setBrush(QColor(30, 30, 30));
  painter.drawRect(QRectF(8, 13, 16, 2.5));
  painter.drawRect(QRectF(8, 18, 12, 2.5));
  painter.setBrush(QColor(120, 115, 105));
  painter.drawRect(QRectF(8, 6, 16, 2));
  painter.drawRect(QRectF(8, 25, 14, 2));

  // The glimmer: a small gold star at the corner.
  painter.setBrush(QColor(245, 190, 30));
  painter.setPen(QPen(QColor(150, 100, 0), 1));
  const QPointF star[] = {{26, 1}, {27.8, 5.2}, {32, 7}, {27.8, 8.8}, {26, 13}, {24.2, 8.8}, {20, 7}, {24.2, 5.2}};
  painter.drawPolygon(star, 8);
  return pixmap;
}

}  // namespace

QIcon drawDialogIcon() {
  QIcon icon;
  icon.addPixmap(drawIcon(32));
  icon.addPixmap(drawIcon(16));
  return icon;
}

}  // namespace glimmer
