#include "contrast.h"

#include <algorithm>
#include <cmath>

namespace {

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
  const auto [darker, lighter] = std::minmax({luminance(first), luminance(second)});
  return (lighter + 0.05) / (darker + 0.05);
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

QColor secondaryTextColor(const QPalette& palette) {
  const auto blend = [](const QColor& from, const QColor& to, float share) {
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                            from.greenF() + (to.greenF() - from.greenF()) * share,
                            from.blueF() + (to.blueF() - from.blueF()) * share);
  };
  const QColor window = palette.color(QPalette::Window);
  const QColor placeholder = palette.color(QPalette::PlaceholderText);
  const QColor drawn = blend(window, placeholder, placeholder.alphaF());  // as it shows on the window
  QColor colour = drawn;
  for (int step = 1; step <= 20 && contrastRatio(colour, window) < textContrast; ++step)
    colour = blend(drawn, palette.color(QPalette::WindowText), static_cast<float>(step) / 20);
  return colour;
}
