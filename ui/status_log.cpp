#include "status_log.h"

#include <QBoxLayout>
#include <QPainter>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "text_styles.h"

StatusLog::StatusLog(QWidget* parent) : QFrame(parent), text_(new QTextEdit(this)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  lineFormat_.setBottomMargin(lineSpacing);

  text_->setObjectName(QStringLiteral("statusLogText"));
  text_->setAccessibleName(QStringLiteral("Status log"));
  text_->setReadOnly(true);
  text_->setUndoRedoEnabled(false);  // the log only grows; an undo history would double its memory
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text_->setFocusPolicy(Qt::StrongFocus);
  text_->setTabChangesFocus(true);
  text_->setFrameShape(QFrame::NoFrame);
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  text_->setLineWrapMode(QTextEdit::WidgetWidth);
  text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);  // long paths have no spaces
  text_->setFixedHeight(scrollAreaHeight);
  text_->document()->setDocumentMargin(0);
  // The rounded block behind paints the background; the text view itself stays transparent.
  text_->viewport()->setAutoFillBackground(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(padding, padding, padding, padding);
  layout->addWidget(text_);
  applyStyle();
}

void StatusLog::applyStyle() {
  text_->setFont(styledFont(TextStyle::captionMonospaced, font()));
  QPalette textPalette = text_->palette();
  textPalette.setColor(QPalette::Text, secondaryTextColor(palette().color(QPalette::Text)));
  textPalette.setColor(QPalette::Base, Qt::transparent);
  text_->setPalette(textPalette);
}

void StatusLog::showLines(const QStringList& lines, std::uint64_t generation) {
  if (generation != generation_ || lines.size() < shownLines_) {
    generation_ = generation;
    restart();
  }
  if (lines.size() > shownLines_) appendLines(lines, shownLines_);
}

void StatusLog::restart() {
  text_->document()->clear();
  QTextCursor(text_->document()).setBlockFormat(lineFormat_);
  shownLines_ = 0;
}

// Inserted through a cursor of its own, not the view's, and the scroll bar put back where it was: new
// lines arrive below and the visible part stays until the user scrolls.
void StatusLog::appendLines(const QStringList& lines, qsizetype from) {
  QScrollBar* scrollBar = text_->verticalScrollBar();
  const int position = scrollBar->value();
  QTextCursor cursor(text_->document());
  cursor.movePosition(QTextCursor::End);
  for (qsizetype index = from; index < lines.size(); ++index) {
    if (shownLines_ > 0) cursor.insertBlock(lineFormat_);
    cursor.insertText(lines[index]);
    ++shownLines_;
  }
  scrollBar->setValue(position);
}

void StatusLog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(palette().color(QPalette::Base));
  painter.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
}
