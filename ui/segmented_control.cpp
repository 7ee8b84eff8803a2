#include "segmented_control.h"

#include <QButtonGroup>
#include <QEvent>
#include <QPainter>
#include <QPushButton>
#include <algorithm>

#include "focus_mark.h"

namespace {

// Drawn by a style sheet because no widget style joins separate buttons into one control. Every colour
// comes from the palette, so the control follows light and dark themes. Each segment has its whole
// border; neighbours overlap by its width, so that one line divides them.
const char* const segmentStyle = R"(
QPushButton {
  border: 1px solid palette(mid);
  background: palette(button);
  color: palette(button-text);
  padding: 4px 12px;
  min-height: 1.2em;
  outline: none; /* the segment draws its own focus ring */
}
QPushButton:checked {
  background: palette(highlight);
  color: palette(highlighted-text);
  border-color: palette(highlight);
}
QPushButton:disabled { color: palette(mid); }
QPushButton:checked:disabled { color: palette(highlighted-text); } /* still says which mode a run uses */
)";

// The rounded outer corners: left and right in a row, top and bottom in a column.
const char* const rowCorners = R"(
QPushButton#segmentFirst { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }
QPushButton#segmentLast { border-top-right-radius: 5px; border-bottom-right-radius: 5px; }
)";
const char* const columnCorners = R"(
QPushButton#segmentFirst { border-top-left-radius: 5px; border-top-right-radius: 5px; }
QPushButton#segmentLast { border-bottom-left-radius: 5px; border-bottom-right-radius: 5px; }
)";

constexpr int borderWidth = 1;

QString segmentName(int index, int count) {
  if (index == 0)
    return QStringLiteral("segmentFirst");
  if (index == count - 1)
    return QStringLiteral("segmentLast");
  return QStringLiteral("segmentMiddle");
}

// A segment with a focus ring of its own: the style sheet's border alone is too faint a mark on a
// selected segment, whose fill and border share the accent colour.
class Segment : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPushButton::paintEvent(event);
    if (!hasFocus() || !window()->testAttribute(Qt::WA_KeyboardFocusChange))
      return;  // as the desktop styles do: no ring after a click, only while the keyboard moves focus
    // The control's palette, which the style sheet leaves alone, holds the colours the sheet paints.
    const QPalette colours = parentWidget()->palette();
    const QColor fill = colours.color(isChecked() ? QPalette::Highlight : QPalette::Button);
    const QColor preferred = colours.color(isChecked() ? QPalette::HighlightedText : QPalette::Highlight);
    QPainter painter(this);
    paintFocusMark(painter, QRectF(rect()).adjusted(2, 2, -2, -2), focusMarkColor(preferred, fill));
  }
};

}  // namespace

SegmentedControl::SegmentedControl(const QStringList& segments, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)) {
  group_->setExclusive(true);
  for (int index = 0; index < segments.size(); ++index) {
    auto* button = new Segment(segments[index], this);
    button->setObjectName(segmentName(index, static_cast<int>(segments.size())));
    button->setCheckable(true);
    // Enter picks the focused segment, as Space does; and to assistive technology the segments are the
    // radio buttons they behave as (the exclusive group alone would make them check boxes).
    button->setAutoDefault(true);
    button->setAutoExclusive(true);
    button->setAccessibleName(segments[index]);
    button->installEventFilter(this);
    group_->addButton(button, index);
  }
  if (!segments.isEmpty())
    group_->button(0)->setChecked(true);
  connect(group_, &QButtonGroup::idClicked, this, &SegmentedControl::segmentPicked);
  // Not Fixed in height: a layout caps a fixed height at the size hint, a row's height, and would cut
  // the column off.
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
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

int SegmentedControl::segmentCount() const {
  return static_cast<int>(group_->buttons().size());
}

QSize SegmentedControl::sizeHint() const {
  QSize size(0, 0);
  for (int index = 0; index < segmentCount(); ++index) {
    const QSize hint = segment(index)->sizeHint();
    size.setWidth(size.width() + hint.width() - (index > 0 ? borderWidth : 0));
    size.setHeight(std::max(size.height(), hint.height()));
  }
  return size;
}

QSize SegmentedControl::minimumSizeHint() const {
  QSize size(0, 0);
  for (int index = 0; index < segmentCount(); ++index) {
    const QSize hint = segment(index)->sizeHint();
    size.setWidth(std::max(size.width(), hint.width()));
    size.setHeight(size.height() + hint.height() - (index > 0 ? borderWidth : 0));
  }
  return size;
}

int SegmentedControl::heightForWidth(int width) const {
  return width < sizeHint().width() ? minimumSizeHint().height() : sizeHint().height();
}

void SegmentedControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeSegments();
}

// In a row, each segment is as wide as its label and as high as the highest; in a column, each is as
// wide as the widest, so that the column reads as one control.
void SegmentedControl::placeSegments() {
  const bool stack = width() < sizeHint().width();
  if (stack != stacked_) {
    stacked_ = stack;
    applyStyle();  // the rounded corners move; the sizes stay the same
  }
  const QSize row = sizeHint();
  const QSize column = minimumSizeHint();
  int offset = 0;
  for (int index = 0; index < segmentCount(); ++index) {
    QPushButton* button = segment(index);
    const QSize hint = button->sizeHint();
    if (stacked_) {
      button->setGeometry(0, offset, column.width(), hint.height());
      offset += hint.height() - borderWidth;
    } else {
      button->setGeometry(offset, 0, hint.width(), row.height());
      offset += hint.width() - borderWidth;
    }
  }
}

// Setting the sheet again makes it resolve palette() against the current palette.
void SegmentedControl::applyStyle() {
  setStyleSheet(QString::fromLatin1(segmentStyle) +
                QString::fromLatin1(stacked_ ? columnCorners : rowCorners));
}

void SegmentedControl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && !restyling_) {
    restyling_ = true;  // re-polishing may itself announce a palette change
    applyStyle();
    restyling_ = false;
  }
}

// The control's sizes are its segments'; when theirs change, the segments may also have to go from a
// row to a column or back.
void SegmentedControl::segmentSizesChanged() {
  updateGeometry();
  placeSegments();
}

// A segment asks for a new layout when its label or font changes, but only while the control is shown.
bool SegmentedControl::event(QEvent* event) {
  if (event->type() == QEvent::LayoutRequest)
    segmentSizesChanged();
  return QWidget::event(event);
}

// A segment takes its size from the style sheet only once polished, which happens as the window is
// first shown, when nothing asks the control for a new layout: the segment says so here.
bool SegmentedControl::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Polish:
    case QEvent::FontChange:
    case QEvent::StyleChange:
      segmentSizesChanged();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}
