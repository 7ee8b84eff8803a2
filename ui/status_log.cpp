#include "status_log.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QtMath>

#include "contrast.h"

constexpr int problemLineState = 1;  // the block state of a line that reports a problem

StatusLog::StatusLog(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setTabChangesFocus(true);
  setUndoRedoEnabled(false);  // the log only grows; an undo history would double its memory
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);  // long paths have no spaces
  setBackgroundRole(QPalette::Base);                           // below the last whole line too
  setAutoFillBackground(true);
  markProblemLines();
}

void StatusLog::clearLines() {
  clear();
  lineCount_ = 0;
}

// Inserted through a cursor of its own, not the view's: the view then never scrolls to it, so new lines
// arrive below and the visible part stays until the user scrolls, wherever the user's cursor is.
void StatusLog::appendLines(const QStringList& lines, LineKind kind) {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();  // one layout pass for the new blocks and their text
  for (const QString& line : lines) {
    if (lineCount_++ > 0)
      cursor.insertBlock();
    cursor.insertText(line, kind == LineKind::problem ? problemFormat_ : QTextCharFormat());
    cursor.block().setUserState(kind == LineKind::problem ? problemLineState : -1);
  }
  cursor.endEditBlock();
}

void StatusLog::showLine(qsizetype index) {
  const QTextBlock block = document()->findBlockByNumber(static_cast<int>(index));
  if (!block.isValid())
    return;
  QTextCursor line(block);
  line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  setTextCursor(line);
  // The view scrolls by lines of text, a wrapped entry counting each of its lines.
  verticalScrollBar()->setValue(block.firstLineNumber());
}

QSize StatusLog::sizeHint() const {
  return {QPlainTextEdit::sizeHint().width(), heightOfLines(preferredLines)};
}

QSize StatusLog::minimumSizeHint() const {
  return {QPlainTextEdit::minimumSizeHint().width(), heightOfLines(minimumLines)};
}

// Whole lines of its font between the document's margins, inside the frame: a line is never cut.
int StatusLog::heightOfLines(int lines) const {
  const qreal line = QFontMetricsF(font()).lineSpacing();
  return qCeil(lines * line + 2 * document()->documentMargin()) + 2 * frameWidth();
}

// Again after a change of theme: the warning colour follows the background.
void StatusLog::markProblemLines() {
  problemFormat_.setForeground(warningTextColor(palette().color(QPalette::Base)));
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    if (block.userState() == problemLineState) {
      QTextCursor line(block);
      line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      line.setCharFormat(problemFormat_);
    }
  }
}

// What the view cannot fill with a whole line is left blank below the last one, rather than cut a line.
void StatusLog::resizeEvent(QResizeEvent* event) {
  const qreal line = QFontMetricsF(font()).lineSpacing();
  const qreal text = height() - 2 * frameWidth() - 2 * document()->documentMargin();
  setViewportMargins(0, 0, 0, qFloor(text - qFloor(text / line) * line));
  QPlainTextEdit::resizeEvent(event);
}

void StatusLog::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() == QEvent::PaletteChange)
    markProblemLines();
}
