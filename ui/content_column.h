#pragma once

#include <QWidget>

// The window's content, inside the scroll area that the window falls back on when even its least height
// is more than the screen has. Asked how tall it must be at a width, it answers with its least height
// (the log at its fewest lines), so that the scroll area shrinks the log before it scrolls; it says so
// whenever its layout changes, for the window to fit itself to it again.
class ContentColumn : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  int heightForWidth(int width) const override;
  // The least height depends on the width: heightForWidth() says it.
  QSize minimumSizeHint() const override { return {QWidget::minimumSizeHint().width(), 0}; }

 signals:
  void layoutChanged();

 protected:
  bool event(QEvent* event) override;
};
