#pragma once

#include <QProxyStyle>

// How the window's focus frame (a QFocusFrame that follows the keyboard focus) is drawn: a ring just
// outside the focused control, in the theme's accent colour where that stands out from the window by
// 3:1, otherwise in the window's text colour. The frame sits above the window's other widgets, so that no
// container clips it and it is drawn on the window's own background, whatever the control paints.
// Only the focus frame uses this style; every control keeps the desktop's.
class FocusRingStyle : public QProxyStyle {
  Q_OBJECT

 public:
  using QProxyStyle::QProxyStyle;

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
};
