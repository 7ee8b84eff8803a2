// The status log on its own: lines in order, a scroll position that only the user moves, wrapping,
// selection and copying, and a height of whole lines.
#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "status_log.h"

namespace {

QStringList numbered(int from, int to) {
  QStringList lines;
  for (int index = from; index <= to; ++index)
    lines << QStringLiteral("[%1/2500] image-%1.png").arg(index);
  return lines;
}

}  // namespace

class StatusLogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<StatusLog> log_;

 private slots:
  void init() {
    log_ = std::make_unique<StatusLog>();
    log_->setFixedWidth(472);
    log_->show();
    QVERIFY(QTest::qWaitForWindowExposed(log_.get()));
  }

  void scrollPositionIsNeverMovedByNewLines() {
    QScrollBar* bar = log_->verticalScrollBar();
    log_->appendLines(numbered(1, 500), StatusLog::LineKind::plain);
    QTRY_VERIFY(bar->isVisible() && bar->maximum() > 0);
    QCOMPARE(bar->value(), 0);  // starts at the top and stays there
    // Wherever the user has scrolled to, also to the very end and with the text cursor at the end.
    for (const int position : {0, bar->maximum() / 2, bar->maximum()}) {
      log_->moveCursor(QTextCursor::End);  // the user's cursor: where new lines arrive
      bar->setValue(position);
      log_->appendLines(numbered(1, 500), StatusLog::LineKind::plain);
      QCoreApplication::processEvents();
      QCOMPARE(bar->value(), position);
    }
    QVERIFY(bar->maximum() > bar->value());
  }

  void longLinesWrap() {
    log_->appendLines({"first", "  could not re-encode (kept the original): " + QString(300, 'x')},
                      StatusLog::LineKind::problem);
    QTRY_VERIFY(log_->document()->findBlockByNumber(1).layout()->lineCount() > 1);
    QCOMPARE(log_->horizontalScrollBar()->maximum(), 0);
  }

  void textCanBeSelectedAndCopiedButNotEdited() {
    log_->appendLines({"Starting\u2026", "[1/1] a.png"}, StatusLog::LineKind::plain);
    log_->setFocus();
    QTest::keyClick(log_.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(log_.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("Starting\u2026\n[1/1] a.png"));
    QTest::keyClicks(log_.get(), "typed");
    QCOMPARE(log_->toPlainText(), QString::fromUtf8("Starting\u2026\n[1/1] a.png"));
  }

  // About twenty lines of its own font where there is room, a few where there is not; and at any height
  // it shows whole lines only, also after a jump to a line: the view a whole number of lines tall, with
  // a line at its top.
  void heightCountsWholeLinesOfItsFont() {
    log_->appendLines(numbered(1, 100), StatusLog::LineKind::plain);
    for (const double points : {9.0, 20.0}) {
      QFont font = log_->font();
      font.setPointSizeF(points);
      log_->setFont(font);
      const int line = log_->cursorRect(QTextCursor(log_->document())).height();
      log_->setFixedHeight(log_->minimumSizeHint().height());
      QCOMPARE(log_->viewport()->height(), StatusLog::minimumLines * line);
      for (int extra = 0; extra < 2 * line; extra += 3) {
        log_->setFixedHeight(log_->sizeHint().height() + extra);
        log_->showLine(extra);
        QCOMPARE(log_->viewport()->height() % line, 0);
        QCOMPARE(log_->cursorRect(log_->cursorForPosition(QPoint(0, 0))).top(), 0);
      }
    }
  }
};

QTEST_MAIN(StatusLogTest)
#include "tst_status_log.moc"
