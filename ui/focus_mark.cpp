#include "focus_mark.h"

#include <QPainter>
#include <QPen>
#include <QRectF>
#include <algorithm>
#include <cmath>

namespace {

constexpr double minimumContrast = 3.0;

// Relative luminance as the accessibility guidelines define it, from gamma-encoded sRGB.
double luminance(const QColor& colour) {
  const auto linear = [](float channel) {
    return channel <= 0.04045f ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
  };
  const QColor rgb = colour.toRgb();
  return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

}  // namespace

double contrastRatio(const QColor& first, const QColor& second) {
  const double a = luminance(first);
  const double b = luminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor focusMarkColor(const QColor& preferred, const QColor& background) {
  const QColor opaque(preferred.red(), preferred.green(), preferred.blue());
  if (contrastRatio(opaque, background) >= minimumContrast)
    return opaque;
  const QColor black(Qt::black);
  const QColor white(Qt::white);
  return contrastRatio(black, background) >= contrastRatio(white, background) ? black : white;
}

void paintFocusMark(QPainter& painter, const QRectF& ring, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(ring, 3, 3);
  painter.restore();
}
