#include "start_button.h"

#include <QStyle>
#include <QStyleOptionButton>

#include "busy_spinner.h"

StartButton::StartButton(const QString& title, QWidget* parent)
    : QPushButton(title, parent), title_(title), spinner_(new BusySpinner(this)) {
  spinner_->setObjectName(QStringLiteral("spinner"));
  spinner_->hide();
  setDefault(true);
  setAccessibleName(title);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StartButton::setBusy(bool busy) {
  if (busy_ == busy)
    return;
  busy_ = busy;
  setText(busy ? QString() : title_);
  setAccessibleDescription(busy ? QStringLiteral("Running") : QString());
  spinner_->setVisible(busy);
  centreSpinner();
  applyPalette();
}

void StartButton::applyStyle(const QPalette& inherited) {
  inherited_ = inherited;
  applyPalette();
}

// The accent fill is the palette's highlight. Unavailable (no folders yet), the button has the usual
// disabled look; busy, it is disabled too but keeps the accent, so the spinner shows on a clear fill.
void StartButton::applyPalette() {
  QPalette accent = inherited_;
  const QColor fill = accentFill(inherited_);
  const QColor text = inherited_.color(QPalette::Active, QPalette::HighlightedText);
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    accent.setColor(group, QPalette::Button, fill);
    accent.setColor(group, QPalette::ButtonText, text);
  }
  if (busy_) {
    accent.setColor(QPalette::Disabled, QPalette::Button, fill);
    accent.setColor(QPalette::Disabled, QPalette::ButtonText, text);
  }
  setPalette(accent);
}

// Always the size of the title, busy or not.
QSize StartButton::sizeHint() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text = title_;
  const QSize content = fontMetrics().size(Qt::TextShowMnemonic, title_);
  option.rect.setSize(content);
  return style()->sizeFromContents(QStyle::CT_PushButton, &option, content, this);
}

void StartButton::resizeEvent(QResizeEvent* event) {
  QPushButton::resizeEvent(event);
  centreSpinner();
}

void StartButton::centreSpinner() {
  const QSize size = spinner_->sizeHint();
  spinner_->setGeometry(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
}
