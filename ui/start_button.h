#pragma once

#include "plain_button.h"

class BusySpinner;

// The window's main action: the default button, filled with the accent colour, its label in whichever
// of the theme's highlighted-text colour, black or white reads at 4.5:1 on the fill the style paints.
// While busy it shows a small spinner instead of its title and keeps its size, so nothing in the window
// moves when a run starts.
class StartButton : public PlainButton {
  Q_OBJECT

 public:
  explicit StartButton(const QString& title, QWidget* parent = nullptr);

  void setBusy(bool busy);
  BusySpinner* spinner() const { return spinner_; }

  // Re-derives the accent colours from the inherited palette; call after a palette change.
  void applyStyle(const QPalette& inherited);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  QColor focusRingColor() const override;

 private:
  void centreSpinner();
  void applyPalette();

  QString title_;
  BusySpinner* spinner_;
  QPalette inherited_;
  bool busy_ = false;
};
