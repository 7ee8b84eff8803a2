#pragma once

#include <QLineEdit>

// A path the user can select and copy, with the mouse or the keyboard, but not edit. It scrolls within
// its width rather than widen the window; keyboard focus shows as the window's own focus ring.
class SelectablePath : public QLineEdit {
  Q_OBJECT

 public:
  explicit SelectablePath(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
