#include "focus_mark.h"

#include <QPainter>
#include <QPen>
#include <QRectF>

QColor focusMarkColor(const QColor& preferred, const QColor& background) {
  return legibleColor(preferred, {background}, focusMarkContrast);
}

void paintFocusMark(QPainter& painter, const QRectF& ring, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(ring, 3, 3);
  painter.restore();
}
