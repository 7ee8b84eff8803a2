#include "busy_spinner.h"

#include <QPainter>

BusySpinner::BusySpinner(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);  // clicks belong to the button underneath
  timer_.setInterval(80);
  connect(&timer_, &QTimer::timeout, this, [this] {
    head_ = (head_ + 1) % tickCount;
    update();
  });
}

// Scales with the font, about the height of a capital letter plus a little.
QSize BusySpinner::sizeHint() const {
  const int side = fontMetrics().height();
  return {side, side};
}

void BusySpinner::showEvent(QShowEvent*) {
  timer_.start();
}

void BusySpinner::hideEvent(QHideEvent*) {
  timer_.stop();
}

void BusySpinner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal side = qMin(width(), height());
  const qreal outer = side / 2.0;
  const qreal inner = outer * 0.45;
  QColor color = palette().color(QPalette::ButtonText);
  const qreal alpha = color.alphaF();
  painter.translate(width() / 2.0, height() / 2.0);
  for (int tick = 0; tick < tickCount; ++tick) {
    const int age = (head_ - tick + tickCount) % tickCount;  // 0 is the head, the brightest tick
    color.setAlphaF(static_cast<float>(alpha * (1.0 - 0.8 * age / (tickCount - 1))));
    painter.setPen(QPen(color, qMax<qreal>(1.5, side / 9.0), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + 1));
    painter.rotate(360.0 / tickCount);
  }
}
