#pragma once

#include <QLabel>

// A one-line label that shortens a text too long for its width in the middle, so that both the
// beginning and the end of a path stay visible. text() (and so the accessible name) is the whole text.
class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  // The text as drawn at the current width.
  QString displayedText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
