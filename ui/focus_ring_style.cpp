#include "focus_ring_style.h"

#include <QPainter>
#include <QStyleOption>

#include "contrast.h"

// Above the other widgets; the base style's mask leaves only a ring of its focus frame margins.
int FocusRingStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                              QStyleHintReturn* returnData) const {
  return hint == SH_FocusFrame_AboveWidget ? 1 : QProxyStyle::styleHint(hint, option, widget, returnData);
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
  if (element != CE_FocusFrame) {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  // Where the accent does not stand out, the window's text colour does, by the theme's own design.
  const QPalette& palette = option->palette;
  const QColor accent = palette.color(QPalette::Active, QPalette::Highlight);
  const bool seen =
      contrastRatio(accent, palette.color(QPalette::Active, QPalette::Window)) >= focusRingContrast;
  painter->fillRect(option->rect, seen ? accent : palette.color(QPalette::Active, QPalette::WindowText));
}
