#include "content_column.h"

#include <QEvent>
#include <QLayout>

int ContentColumn::heightForWidth(int width) const {
  return layout() != nullptr ? layout()->totalMinimumHeightForWidth(width) : QWidget::heightForWidth(width);
}

bool ContentColumn::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  if (event->type() == QEvent::LayoutRequest)
    emit layoutChanged();
  return handled;
}
