#include "selectable_path.h"

#include <QPainter>

#include "focus_mark.h"

SelectablePath::SelectablePath(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
}

void SelectablePath::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  if (!hasFocus() || !window()->testAttribute(Qt::WA_KeyboardFocusChange))
    return;
  QPainter painter(this);
  paintFocusMark(painter, QRectF(rect()).adjusted(1, 1, -1, -1),
                 focusMarkColor(palette().color(QPalette::Highlight), palette().color(QPalette::Base)));
}
