#pragma once

#include <QProxyStyle>

// The window's one focus frame: a ring a pixel outside the focused control, above the other widgets so
// that no container clips it, in the theme's accent colour where that stands out from the window by 3:1,
// otherwise in the window's text colour. The controls it draws show no focus mark of their own.
class FocusRingStyle : public QProxyStyle {
  Q_OBJECT

 public:
  using QProxyStyle::QProxyStyle;

  // Above the other widgets; the base style's mask leaves only a ring of its focus frame margins.
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    return hint == SH_FocusFrame_AboveWidget ? 1 : QProxyStyle::styleHint(hint, option, widget, data);
  }
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
};
