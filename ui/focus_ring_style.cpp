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
  painter->fillRect(option->rect, ringColor(option->palette));
}

// The window's text colour reads on the window by the theme's own design.
QColor FocusRingStyle::ringColor(const QPalette& palette) {
  const QColor accent = palette.color(QPalette::Active, QPalette::Highlight);
  const bool seen =
      contrastRatio(accent, palette.color(QPalette::Active, QPalette::Window)) >= focusRingContrast;
  return seen ? accent : palette.color(QPalette::Active, QPalette::WindowText);
}
