#include "segmented_control.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QEvent>
#include <QPushButton>

namespace {

// Drawn by a style sheet because no widget style joins separate buttons into one control. Every colour
// comes from the palette, so the control follows light and dark themes.
const char* const segmentStyle = R"(
QPushButton {
  border: 1px solid palette(mid);
  background: palette(button);
  color: palette(button-text);
  padding: 3px 12px;
  min-height: 1.2em;
}
QPushButton:checked {
  background: palette(highlight);
  color: palette(highlighted-text);
  border-color: palette(highlight);
}
QPushButton:focus:!checked { border-color: palette(highlight); }
QPushButton:focus:checked { border-color: palette(dark); }
QPushButton:disabled { color: palette(mid); }
QPushButton#segmentFirst { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }
QPushButton#segmentLast { border-top-right-radius: 5px; border-bottom-right-radius: 5px; }
QPushButton#segmentMiddle, QPushButton#segmentLast { border-left-width: 0px; }
)";

QString segmentName(int index, int count) {
  if (index == 0)
    return QStringLiteral("segmentFirst");
  if (index == count - 1)
    return QStringLiteral("segmentLast");
  return QStringLiteral("segmentMiddle");
}

}  // namespace

SegmentedControl::SegmentedControl(const QStringList& segments, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
  group_->setExclusive(true);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  for (int index = 0; index < segments.size(); ++index) {
    auto* button = new QPushButton(segments[index], this);
    button->setObjectName(segmentName(index, static_cast<int>(segments.size())));
    button->setCheckable(true);
    button->setAccessibleName(segments[index]);
    group_->addButton(button, index);
    row->addWidget(button);
  }
  if (!segments.isEmpty())
    group_->button(0)->setChecked(true);
  connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::segmentPicked);
  applyStyle();
}

int SegmentedControl::currentIndex() const {
  return group_->checkedId();
}

void SegmentedControl::setCurrentIndex(int index) {
  if (QAbstractButton* button = group_->button(index))
    button->setChecked(true);
}

QPushButton* SegmentedControl::segment(int index) const {
  return static_cast<QPushButton*>(group_->button(index));
}

int SegmentedControl::count() const {
  return static_cast<int>(group_->buttons().size());
}

// Setting the sheet again makes it resolve palette() against the current palette.
void SegmentedControl::applyStyle() {
  setStyleSheet(QString::fromLatin1(segmentStyle));
}

void SegmentedControl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && !restyling_) {
    restyling_ = true;  // re-polishing may itself announce a palette change
    applyStyle();
    restyling_ = false;
  }
}
