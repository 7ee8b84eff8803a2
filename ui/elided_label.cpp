#include "elided_label.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QtMath>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

// The window sets its paths again for every event of a run: the same text costs nothing.
void ElidedLabel::setFullText(const QString& text) {
  if (text == this->text())
    return;
  setText(text);
  offerFullText();
}

// Elided at paint time from the current width, so a resize or a font change needs no bookkeeping.
QString ElidedLabel::displayedText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

// Rounded up from the fractional advance: the rounded integer one can be a fraction too narrow, and the
// text would then be shortened although the row had room for it.
QSize ElidedLabel::sizeHint() const {
  return {qCeil(QFontMetricsF(font()).horizontalAdvance(text())), fontMetrics().height()};
}

// Narrow enough to give way to the row's button: the text is shortened instead.
QSize ElidedLabel::minimumSizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return {metrics.horizontalAdvance(QStringLiteral("\u2026")), metrics.height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                        displayedText(), foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  offerFullText();
}

void ElidedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange)
    offerFullText();
}

void ElidedLabel::offerFullText() {
  const QString full = displayedText() == text() ? QString() : text();
  setToolTip(full);
  setAccessibleDescription(full);
}
