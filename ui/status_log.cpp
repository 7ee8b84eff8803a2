#include "status_log.h"

#include <QScrollBar>
#include <QTextBlock>

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
  // The document's margin is above its first line only when scrolled to the top, which would shift the
  // lines by it; the padding is the view's instead, the same at every scroll position.
  document()->setDocumentMargin(0);
  markProblemLines();
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

// What the view cannot fill with a whole line is left blank below the last one, rather than cut a line;
// the view scrolls by lines, so its first line is always whole too.
void StatusLog::fitWholeLines() {
  const int text = height() - 2 * (frameWidth() + padding);
  setViewportMargins(padding, padding, padding, padding + std::max(0, text % lineHeight()));
}

void StatusLog::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() == QEvent::PaletteChange)
    markProblemLines();
  if (event->type() == QEvent::FontChange)
    fitWholeLines();
}
