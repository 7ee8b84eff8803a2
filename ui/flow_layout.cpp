#include "flow_layout.h"

#include <QWidget>
#include <algorithm>
#include <utility>

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
      size = size.expandedTo(item->hasHeightForWidth() ? item->minimumSize() : item->sizeHint());
  }
  return size.grownBy(contentsMargins());
}

// An item takes its size hint where the line has room for it. One that can wrap its text and is wider
// than a whole line takes the line's width, or its minimum, and the height it needs there.
QSize FlowLayout::itemSize(const QLayoutItem* item, int lineWidth) {
  const QSize hint = item->sizeHint();
  if (hint.width() <= lineWidth || !item->hasHeightForWidth())
    return hint;
  const int width = std::max(lineWidth, item->minimumSize().width());
  return {width, item->heightForWidth(width)};
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  arrange(rect, true);
}

int FlowLayout::arrange(const QRect& rect, bool place) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  int top = area.top();
  QList<std::pair<QLayoutItem*, QSize>> line;
  int lineWidth = 0;
  const auto closeLine = [&] {
    int lineHeight = 0;
    for (const auto& [item, size] : line)
      lineHeight = std::max(lineHeight, size.height());
    int left = area.left();
    for (const auto& [item, size] : line) {
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
    const QSize size = itemSize(item, area.width());
    if (!line.isEmpty() && lineWidth + horizontalSpacing_ + size.width() > area.width())
      closeLine();
    lineWidth += (line.isEmpty() ? 0 : horizontalSpacing_) + size.width();
    line.append({item, size});
  }
  if (!line.isEmpty())
    closeLine();
  const int used = top == area.top() ? 0 : top - area.top() - verticalSpacing_;
  return used + contentsMargins().top() + contentsMargins().bottom();
}
