#include "start_button.h"

#include <QEvent>
#include <QStyle>
#include <QStyleOptionButton>

#include "busy_spinner.h"
#include "contrast.h"

StartButton::StartButton(const QString& title, QWidget* parent)
    : PlainButton(title, parent), title_(title), spinner_(new BusySpinner(this)) {
  spinner_->setObjectName(QStringLiteral("spinner"));
  spinner_->hide();
  // The default button takes Enter as it is; auto-default would drop the default look on losing focus.
  setAutoDefault(false);
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
// The label's colour is measured against the face the style paints from that fill, which may be
// lighter than the fill itself.
void StartButton::applyPalette() {
  QPalette accent = inherited_;
  const QColor fill = inherited_.color(QPalette::Active, QPalette::Highlight);
  for (const auto group : {QPalette::Active, QPalette::Inactive})
    accent.setColor(group, QPalette::Button, fill);
  if (busy_)
    accent.setColor(QPalette::Disabled, QPalette::Button, fill);
  const QColor label = legibleColor(inherited_.color(QPalette::Active, QPalette::HighlightedText),
                                    paintedFaces(*this, accent, busy_), textContrast);
  for (const auto group : {QPalette::Active, QPalette::Inactive})
    accent.setColor(group, QPalette::ButtonText, label);
  if (busy_)
    accent.setColor(QPalette::Disabled, QPalette::ButtonText, label);
  setPalette(accent);
}

// The label's colour stands out from every face by 4.5:1, so also by the ring's 3:1.
QColor StartButton::focusRingColor() const {
  return palette().color(QPalette::Active, QPalette::ButtonText);
}

void StartButton::changeEvent(QEvent* event) {
  PlainButton::changeEvent(event);
  if (event->type() == QEvent::StyleChange)
    applyPalette();
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
  PlainButton::resizeEvent(event);
  centreSpinner();
}

void StartButton::centreSpinner() {
  const QSize size = spinner_->sizeHint();
  spinner_->setGeometry(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
}
