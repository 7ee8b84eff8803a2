#include "plain_button.h"

#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "contrast.h"
#include "focus_mark.h"

PlainButton::PlainButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  // Outside a dialog a push button ignores Enter unless it is a default button; auto-default is the
  // flag that makes the focused one take it.
  setAutoDefault(true);
}

QList<QColor> PlainButton::paintedFaces(const QPushButton& button, const QPalette& colours,
                                        bool withDisabled) {
  QStyleOptionButton option;
  option.initFrom(&button);
  option.palette = colours;
  option.rect = QRect(QPoint(0, 0), button.sizeHint());
  option.features = button.isDefault() ? QStyleOptionButton::DefaultButton : QStyleOptionButton::None;
  option.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Active;
  QList<QStyle::State> states{option.state, option.state | QStyle::State_MouseOver,
                              (option.state & ~QStyle::State_Raised) | QStyle::State_Sunken};
  if (withDisabled)
    states << (option.state & ~QStyle::State_Enabled);
  QList<QColor> faces;
  for (const QStyle::State state : states) {
    QImage face(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
    face.fill(colours.color(QPalette::Window));
    QPainter painter(&face);
    QStyleOptionButton variant = option;
    variant.state = state;
    button.style()->drawControl(QStyle::CE_PushButtonBevel, &variant, &painter, &button);
    painter.end();
    for (int y = face.height() / 4; y <= face.height() * 3 / 4; ++y)
      faces << face.pixelColor(face.width() / 2, y);
  }
  return faces;
}

QColor PlainButton::focusRingColor() const {
  return legibleColor(palette().color(QPalette::Highlight), paintedFaces(*this, palette(), false),
                      focusMarkContrast);
}

void PlainButton::paintEvent(QPaintEvent* event) {
  QPushButton::paintEvent(event);
  if (!hasFocus() || !window()->testAttribute(Qt::WA_KeyboardFocusChange))
    return;
  QPainter painter(this);
  // Over the border, clear of the label, which some styles set close to it.
  paintFocusMark(painter, QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), focusRingColor());
}
