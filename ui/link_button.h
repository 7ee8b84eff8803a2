#pragma once

#include <QPushButton>

// A button that reads as a link: underlined text in the theme's link colour, no frame, for an action
// beside the main one. To the keyboard and to screen readers it is a button like any other; keyboard
// focus shows as a ring around the text.
class LinkButton : public QPushButton {
  Q_OBJECT

 public:
  explicit LinkButton(const QString& text, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Room around the text for the focus ring, so that it never touches the letters.
  static constexpr int margin = 4;
};
