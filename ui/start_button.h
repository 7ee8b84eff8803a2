#pragma once

#include <QPushButton>

class BusySpinner;

// The window's main action: the default button, filled with the accent colour. While busy it shows a
// small spinner instead of its title and keeps its size, so nothing in the window moves when a run starts.
class StartButton : public QPushButton {
  Q_OBJECT

 public:
  explicit StartButton(const QString& title, QWidget* parent = nullptr);

  void setBusy(bool busy);
  bool isBusy() const { return busy_; }
  BusySpinner* spinner() const { return spinner_; }

  // Re-derives the accent colours from the inherited palette; call after a palette change.
  void applyStyle(const QPalette& inherited);
  static QColor accentFill(const QPalette& inherited) {
    return inherited.color(QPalette::Active, QPalette::Highlight);
  }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void centreSpinner();
  void applyPalette();

  QString title_;
  BusySpinner* spinner_;
  QPalette inherited_;
  bool busy_ = false;
};
