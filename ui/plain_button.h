#pragma once

#include <QList>
#include <QPushButton>

// A push button of the window. Enter clicks it while it has the focus, as Space does. Keyboard focus
// shows as the window's focus ring, drawn over what the widget style paints, in a colour that stands out
// by 3:1 from the face the style actually paints: some styles lighten or shade the palette's button
// colour, Fusion with a gradient.
class PlainButton : public QPushButton {
  Q_OBJECT

 public:
  explicit PlainButton(const QString& text, QWidget* parent = nullptr);

  // The colours the widget style paints the face of `button` in with `colours`: at rest, under the
  // pointer, pressed, and disabled where `withDisabled` says so. Sampled down the middle, clear of the
  // border.
  static QList<QColor> paintedFaces(const QPushButton& button, const QPalette& colours, bool withDisabled);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The ring's colour.
  virtual QColor focusRingColor() const;
};
