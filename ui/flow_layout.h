#pragma once

#include <QLayout>
#include <QList>

// Lays its widgets out left to right, like words in a paragraph: where the next one would not fit, it
// starts a new line below. The widgets of a line are centred on each other; hidden ones take no room. A
// widget wider than a line that can wrap its own words (a link at a large font) is given the line.
class FlowLayout : public QLayout {
 public:
  FlowLayout(QWidget* parent, int horizontalSpacing, int verticalSpacing);
  ~FlowLayout() override;

  FlowLayout(const FlowLayout&) = delete;
  FlowLayout& operator=(const FlowLayout&) = delete;

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;

  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  // Everything on one line.
  QSize sizeHint() const override;
  // The widest widget, each kept whole; one that wraps its words, at its narrowest.
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;

 private:
  static QSize itemSize(const QLayoutItem* item, int lineWidth);
  // Places the items within `rect` when `place` is set; returns the height they take at its width.
  int arrange(const QRect& rect, bool place) const;

  QList<QLayoutItem*> items_;
  int horizontalSpacing_;
  int verticalSpacing_;
};
