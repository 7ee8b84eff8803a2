#pragma once

#include <QLabel>

// A one-line label that shortens a text too long for its width in the middle, so that both the
// beginning and the end of a path stay visible. text() is the whole text; while it is shortened, it is
// also the tooltip and the accessible description, so that it can still be read in full.
class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  // Use this rather than setText(), which would leave the tooltip as it was.
  void setFullText(const QString& text);
  // The text as drawn at the current width.
  QString displayedText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void offerFullText();
};
