#include "text_styles.h"

#include <QFontDatabase>
#include <algorithm>

#include "contrast.h"

namespace {

struct StyleMetrics {
  double scale;
  bool bold;
};

// Each style as a ratio of the body text, after a common desktop type scale (body 13 pt: title 2 is
// 17, subheadline 11, callout 12, caption 10).
StyleMetrics metricsOf(TextStyle style) {
  switch (style) {
    case TextStyle::title2Bold:
      return {1.3, true};
    case TextStyle::subheadlineBold:
      return {0.85, true};
    case TextStyle::callout:
      return {0.92, false};
    case TextStyle::caption:
    case TextStyle::captionMonospaced:
      return {0.77, false};
  }
  return {1.0, false};
}

void scaleFont(QFont& font, const QFont& base, double scale) {
  // Fonts are given either in points or in pixels; keep whichever the desktop chose.
  if (base.pointSizeF() > 0) {
    font.setPointSizeF(base.pointSizeF() * scale);
  } else {
    font.setPixelSize(qMax(1, qRound(base.pixelSize() * scale)));
  }
}

}  // namespace

QFont styledFont(TextStyle style, const QFont& base) {
  const StyleMetrics metrics = metricsOf(style);
  QFont font =
      style == TextStyle::captionMonospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : base;
  scaleFont(font, base, metrics.scale);
  font.setBold(metrics.bold);
  return font;
}

QColor secondaryTextColor(const QColor& primary) {
  QColor color = primary;
  color.setAlphaF(primary.alphaF() * 0.6f);
  return color;
}

QColor warningTextColor(const QColor& background) {
  constexpr int hue = 12;
  constexpr int saturation = 200;
  constexpr int step = 4;
  const bool onDark = contrastRatio(Qt::white, background) > contrastRatio(Qt::black, background);
  for (int lightness = 128;; lightness += onDark ? step : -step) {
    const QColor colour = QColor::fromHsl(hue, saturation, std::clamp(lightness, 0, 255));
    if (contrastRatio(colour, background) >= textContrast || lightness <= 0 || lightness >= 255)
      return colour;
  }
}
