#include "status_log.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtMath>
#include <algorithm>

#include "focus_mark.h"
#include "text_styles.h"

namespace {

// The block state of a line that reports a problem.
constexpr int problemLineState = 1;

// The plain-text layout ignores block margins; every entry is made a little taller instead, which the
// view uses both to place the entries and to hit-test selections, so both agree.
class SpacedLinesLayout : public QPlainTextDocumentLayout {
 public:
  using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

  QRectF blockBoundingRect(const QTextBlock& block) const override {
    QRectF rect = QPlainTextDocumentLayout::blockBoundingRect(block);
    rect.setHeight(rect.height() + StatusLog::lineSpacing);
    return rect;
  }
};

}  // namespace

StatusLog::StatusLog(QWidget* parent) : QFrame(parent), text_(new QPlainTextEdit(this)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

  auto* document = new QTextDocument(text_);
  document->setDocumentLayout(new SpacedLinesLayout(document));
  document->setDocumentMargin(0);
  document->setUndoRedoEnabled(false);  // the log only grows; an undo history would double its memory
  text_->setDocument(document);
  text_->setObjectName(QStringLiteral("statusLogText"));
  text_->setAccessibleName(QStringLiteral("Status log"));
  text_->setReadOnly(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text_->setFocusPolicy(Qt::StrongFocus);
  text_->setTabChangesFocus(true);
  text_->setFrameShape(QFrame::NoFrame);
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);   // long paths have no spaces
  text_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);  // the log's own height decides
  // The rounded block behind paints the background; the text view itself stays transparent.
  text_->viewport()->setAutoFillBackground(false);

  setFocusProxy(text_);
  text_->installEventFilter(this);  // the ring for its focus is drawn here, around the block

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(padding, padding, padding, padding);
  layout->addWidget(text_);
  applyStyle();
}

QSize StatusLog::sizeHint() const {
  return {QFrame::sizeHint().width(), heightOfLines(preferredLines)};
}

QSize StatusLog::minimumSizeHint() const {
  return {QFrame::minimumSizeHint().width(), heightOfLines(minimumLines)};
}

// Lines of the text's font, each with its spacing, within the padding.
int StatusLog::heightOfLines(int lines) const {
  const qreal line = QFontMetricsF(text_->font()).height() + lineSpacing;
  return qCeil(lines * line) + 2 * padding;
}

void StatusLog::applyStyle() {
  text_->setFont(styledFont(TextStyle::captionMonospaced, font()));
  updateGeometry();  // the height follows the font
  QPalette textPalette = text_->palette();
  textPalette.setColor(QPalette::Text, secondaryTextColor(palette().color(QPalette::Text)));
  textPalette.setColor(QPalette::Base, Qt::transparent);
  text_->setPalette(textPalette);
  const QColor warning = warningTextColor(palette().color(QPalette::Base));
  if (problemFormat_.foreground().color() != warning) {
    problemFormat_.setForeground(warning);
    markProblemLines();
  }
}

// Again after a change of theme: the warning colour follows the background.
void StatusLog::markProblemLines() {
  QTextCursor cursor(text_->document());
  for (QTextBlock block = text_->document()->begin(); block.isValid(); block = block.next()) {
    if (block.userState() != problemLineState)
      continue;
    cursor.setPosition(block.position());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.setCharFormat(problemFormat_);
  }
}

void StatusLog::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
    applyStyle();
}

void StatusLog::showLines(const QStringList& lines, std::uint64_t generation,
                          const QList<qsizetype>& problems) {
  if (generation != generation_ || lines.size() < shownLines_) {
    generation_ = generation;
    restart();
  }
  if (lines.size() > shownLines_)
    appendLines(lines, problems, shownLines_);
}

void StatusLog::scrollToLine(qsizetype index) {
  const QTextBlock block = text_->document()->findBlockByNumber(static_cast<int>(index));
  if (!block.isValid())
    return;
  text_->setTextCursor(QTextCursor(block));
  // The view scrolls by lines of text, a wrapped entry counting each of its lines.
  text_->verticalScrollBar()->setValue(block.firstLineNumber());
}

void StatusLog::restart() {
  text_->document()->clear();
  shownLines_ = 0;
}

// Inserted through a cursor of its own, not the view's: the view then never scrolls to it, so new lines
// arrive below and the visible part stays until the user scrolls, wherever the user's cursor is.
void StatusLog::appendLines(const QStringList& lines, const QList<qsizetype>& problems, qsizetype from) {
  QTextCursor cursor(text_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();  // one layout pass for the new block and its text
  auto problem = std::lower_bound(problems.begin(), problems.end(), from);
  for (qsizetype index = from; index < lines.size(); ++index) {
    if (shownLines_ > 0)
      cursor.insertBlock();
    const bool isProblem = problem != problems.end() && *problem == index;
    cursor.insertText(lines[index], isProblem ? problemFormat_ : QTextCharFormat());
    cursor.block().setUserState(isProblem ? problemLineState : -1);
    if (isProblem)
      ++problem;
    ++shownLines_;
  }
  cursor.endEditBlock();
}

bool StatusLog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == text_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
    update();
  return QFrame::eventFilter(watched, event);
}

void StatusLog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  const QColor base = palette().color(QPalette::Base);
  painter.setBrush(base);
  painter.drawRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
  if (text_->hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange))
    paintFocusMark(painter, QRectF(rect()).adjusted(2, 2, -2, -2),
                   focusMarkColor(palette().color(QPalette::Highlight), base));
}
