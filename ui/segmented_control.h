#pragma once

#include <QWidget>

class QButtonGroup;
class QPushButton;

// A row of joined, mutually exclusive segments, one of which is always selected. Each segment is a
// checkable push button, so Tab, Space and Enter treat it like any other button; screen readers meet
// the segments as radio buttons. Where the row does not fit the width it is given (a large desktop
// font), the segments stack into a column, so that every label stays whole; the arrow keys move between
// them either way.
class SegmentedControl : public QWidget {
  Q_OBJECT

 public:
  explicit SegmentedControl(const QStringList& segments, QWidget* parent = nullptr);

  int currentIndex() const;
  void setCurrentIndex(int index);
  QPushButton* segment(int index) const;
  bool isStacked() const { return stacked_; }

  // Side by side.
  QSize sizeHint() const override;
  // Stacked.
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 signals:
  // Only for a segment the user picked, not for setCurrentIndex.
  void segmentPicked(int index);

 protected:
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void applyStyle();
  void placeSegments();
  void segmentSizesChanged();
  int segmentCount() const;

  QButtonGroup* group_;
  bool stacked_ = false;
  bool restyling_ = false;
};
