#include "link_button.h"

#include <QPainter>

#include "focus_mark.h"

LinkButton::LinkButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setFlat(true);
  setCursor(Qt::PointingHandCursor);
  setAccessibleName(text);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return QSize(metrics.horizontalAdvance(text()), metrics.height()).grownBy({margin, margin, margin, margin});
}

// Drawn here rather than by the widget style, which would add a button's frame and padding.
void LinkButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QFont underlined = font();
  underlined.setUnderline(true);
  painter.setFont(underlined);
  painter.setPen(palette().color(isDown() ? QPalette::LinkVisited : QPalette::Link));
  painter.drawText(rect(), Qt::AlignCenter, text());
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    const QColor background = palette().color(QPalette::Window);
    paintFocusMark(painter, QRectF(rect()).adjusted(1, 1, -1, -1),
                   focusMarkColor(palette().color(QPalette::Highlight), background));
  }
}
