#include "focus_ring_style.h"

#include <QFocusFrame>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

#include "contrast.h"

// A pixel more round the control than the ring takes: the ring never touches an indicator at its edge.
int FocusRingStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  const bool ringMargin = (metric == PM_FocusFrameHMargin || metric == PM_FocusFrameVMargin) &&
                          qobject_cast<const QFocusFrame*>(widget) != nullptr;
  return QProxyStyle::pixelMetric(metric, option, widget) + (ringMargin ? 1 : 0);
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
  if (element != CE_FocusFrame)
    return QProxyStyle::drawControl(element, option, painter, widget);
  // Where the accent does not stand out, the window's text colour does, by the theme's own design.
  const QPalette& palette = option->palette;
  const QColor accent = palette.color(QPalette::Active, QPalette::Highlight);
  const bool seen =
      contrastRatio(accent, palette.color(QPalette::Active, QPalette::Window)) >= focusRingContrast;
  const int width = QProxyStyle::pixelMetric(PM_FocusFrameHMargin, option, nullptr);
  QPainterPath ring;
  ring.addRect(option->rect);
  ring.addRect(option->rect.adjusted(width, width, -width, -width));
  painter->fillPath(ring, seen ? accent : palette.color(QPalette::Active, QPalette::WindowText));
}

// A style's own focus mark: a box round a label or a cell, an outline in a button or a field's frame.
void FocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
  if (element == PE_FrameFocusRect)
    return;
  const auto unfocused = [&]<typename Option>(const Option* focused) {
    Option copy(*focused);
    copy.state &= ~State_HasFocus;
    QProxyStyle::drawPrimitive(element, &copy, painter, widget);
  };
  if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option))
    unfocused(button);
  else if (const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option))
    unfocused(frame);
  else
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
