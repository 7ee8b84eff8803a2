#include "link_button.h"

#include <QPainter>
#include <algorithm>

#include "focus_mark.h"

LinkButton::LinkButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setFlat(true);
  setAutoDefault(true);  // Enter clicks it while it has the focus, as Space does
  setCursor(Qt::PointingHandCursor);
  setAccessibleName(text);
  QSizePolicy policy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

// Measured as paintEvent lays the text out, so that the one line it asks for never wraps.
QSize LinkButton::sizeHint() const {
  constexpr int unbounded = 0xFFFFFF;
  return fontMetrics()
      .boundingRect(QRect(0, 0, unbounded, unbounded), textFlags, text())
      .size()
      .grownBy(margins);
}

QSize LinkButton::minimumSizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  int longestWord = 0;
  for (const QString& word : text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
    longestWord = std::max(longestWord, metrics.horizontalAdvance(word));
  return QSize(longestWord, metrics.height()).grownBy(margins);
}

int LinkButton::heightForWidth(int width) const {
  constexpr int unbounded = 0xFFFFFF;
  const QRect lines =
      fontMetrics().boundingRect(QRect(0, 0, std::max(1, width - 2 * margin), unbounded), textFlags, text());
  return lines.height() + 2 * margin;
}

// Drawn here rather than by the widget style, which would add a button's frame and padding.
void LinkButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QFont underlined = font();
  underlined.setUnderline(true);
  painter.setFont(underlined);
  painter.setPen(palette().color(isDown() ? QPalette::LinkVisited : QPalette::Link));
  painter.drawText(rect().marginsRemoved(margins), textFlags, text());
  if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    const QColor background = palette().color(QPalette::Window);
    paintFocusMark(painter, QRectF(rect()).adjusted(1, 1, -1, -1),
                   focusMarkColor(palette().color(QPalette::Highlight), background));
  }
}
