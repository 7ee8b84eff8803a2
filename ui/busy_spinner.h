#pragma once

#include <QTimer>
#include <QWidget>

// A small indeterminate progress spinner: a ring of ticks that fade behind a turning head. Drawn in the
// palette's button text colour, so it shows on whatever button it sits in. Turns only while visible.
class BusySpinner : public QWidget {
  Q_OBJECT

 public:
  explicit BusySpinner(QWidget* parent = nullptr);

  bool isSpinning() const { return timer_.isActive(); }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  static constexpr int tickCount = 12;

  QTimer timer_;
  int head_ = 0;
};
