#pragma once

#include <QPushButton>

// A button that reads as a link: underlined text in the theme's link colour, no frame, for an action
// beside the main one. To the keyboard and to screen readers it is a button like any other; keyboard
// focus shows as a ring around the text. Given less than one line's width (a large desktop font), its
// words wrap.
class LinkButton : public QPushButton {
  Q_OBJECT

 public:
  explicit LinkButton(const QString& text, QWidget* parent = nullptr);

  // On one line.
  QSize sizeHint() const override;
  // As narrow as the longest word.
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  static constexpr int textFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
  // Room around the text for the focus ring, so that it never touches the letters.
  static constexpr int margin = 4;
  static constexpr QMargins margins{margin, margin, margin, margin};
};
