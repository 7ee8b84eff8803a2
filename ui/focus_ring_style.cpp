#include "focus_ring_style.h"

#include <QPainter>
#include <QStyleOption>

#include "contrast.h"

namespace {

// Thick enough to be seen at a glance, thin enough for the gaps between the window's controls.
constexpr int ringWidth = 2;

}  // namespace

int FocusRingStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                              QStyleHintReturn* returnData) const {
  if (hint == SH_FocusFrame_AboveWidget)
    return 1;
  if (hint == SH_FocusFrame_Mask) {
    if (auto* mask = qstyleoption_cast<QStyleHintReturnMask*>(returnData); mask && widget) {
      const QRect outer = widget->rect();
      mask->region = QRegion(outer) - QRegion(outer.adjusted(ringWidth, ringWidth, -ringWidth, -ringWidth));
    }
    return 1;
  }
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

int FocusRingStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  if (metric == PM_FocusFrameHMargin || metric == PM_FocusFrameVMargin)
    return ringWidth;
  return QProxyStyle::pixelMetric(metric, option, widget);
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
  if (element != CE_FocusFrame) {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  painter->fillRect(option->rect, ringColor(option->palette));  // the mask leaves only the ring
}

QColor FocusRingStyle::ringColor(const QPalette& palette) {
  return legibleColor(palette.color(QPalette::Active, QPalette::Highlight),
                      {palette.color(QPalette::Active, QPalette::Window)}, focusRingContrast);
}
