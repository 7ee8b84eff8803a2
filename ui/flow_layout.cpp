#include "flow_layout.h"

#include <QWidget>
#include <algorithm>

FlowLayout::FlowLayout(QWidget* parent, int horizontalSpacing, int verticalSpacing)
    : QLayout(parent), horizontalSpacing_(horizontalSpacing), verticalSpacing_(verticalSpacing) {
  setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
  qDeleteAll(items_);
}

void FlowLayout::addItem(QLayoutItem* item) {
  items_.append(item);
  invalidate();
}

int FlowLayout::count() const {
  return static_cast<int>(items_.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
  return items_.value(index);
}

QLayoutItem* FlowLayout::takeAt(int index) {
  if (index < 0 || index >= items_.size())
    return nullptr;
  QLayoutItem* item = items_.takeAt(index);
  invalidate();
  return item;
}

int FlowLayout::heightForWidth(int width) const {
  return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::sizeHint() const {
  QSize size(0, 0);
  for (const QLayoutItem* item : items_) {
    if (item->isEmpty())
      continue;
    const QSize hint = item->sizeHint();
    size.setWidth(size.width() + (size.width() > 0 ? horizontalSpacing_ : 0) + hint.width());
    size.setHeight(std::max(size.height(), hint.height()));
  }
  const QMargins margins = contentsMargins();
  return size.grownBy(margins);
}

QSize FlowLayout::minimumSize() const {
  QSize size(0, 0);
  for (const QLayoutItem* item : items_) {
    if (!item->isEmpty())
      size = size.expandedTo(item->sizeHint());
  }
  return size.grownBy(contentsMargins());
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  arrange(rect, true);
}

int FlowLayout::arrange(const QRect& rect, bool place) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  int top = area.top();
  QList<QLayoutItem*> line;
  int lineWidth = 0;
  const auto closeLine = [&] {
    int lineHeight = 0;
    for (const QLayoutItem* item : line)
      lineHeight = std::max(lineHeight, item->sizeHint().height());
    int left = area.left();
    for (QLayoutItem* item : line) {
      const QSize size = item->sizeHint();
      if (place)
        item->setGeometry(QRect(QPoint(left, top + (lineHeight - size.height()) / 2), size));
      left += size.width() + horizontalSpacing_;
    }
    top += lineHeight + verticalSpacing_;
    line.clear();
    lineWidth = 0;
  };
  for (QLayoutItem* item : items_) {
    if (item->isEmpty())
      continue;
    const int width = item->sizeHint().width();
    if (!line.isEmpty() && lineWidth + horizontalSpacing_ + width > area.width())
      closeLine();
    lineWidth += (line.isEmpty() ? 0 : horizontalSpacing_) + width;
    line.append(item);
  }
  if (!line.isEmpty())
    closeLine();
  const int used = top == area.top() ? 0 : top - area.top() - verticalSpacing_;
  return used + contentsMargins().top() + contentsMargins().bottom();
}
