#pragma once

#include <QWidget>

class QButtonGroup;
class QPushButton;

// A row of joined, mutually exclusive segments, one of which is always selected. Each segment is a
// checkable push button, so Tab, Space and screen readers treat it like any other button.
class SegmentedControl : public QWidget {
  Q_OBJECT

 public:
  explicit SegmentedControl(const QStringList& segments, QWidget* parent = nullptr);

  int currentIndex() const;
  void setCurrentIndex(int index);
  QPushButton* segment(int index) const;
  int count() const;

 signals:
  // Only for a segment the user picked, not for setCurrentIndex.
  void segmentPicked(int index);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void applyStyle();

  QButtonGroup* group_;
  bool restyling_ = false;
};
