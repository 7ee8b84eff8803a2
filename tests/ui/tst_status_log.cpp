// The status log on its own: lines in order, a scroll position that only the user moves, wrapping,
// selection and copying, and a height of whole lines.
#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QWheelEvent>

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

  // Its preferred and least heights in lines of its own font; and at any height, at any scroll position
  // (a jump to a line, the wheel, the scroll bar dragged), whole lines only: the view a whole number of
  // lines tall, the first line at its top.
  void showsWholeLinesOnly() {
    log_->appendLines(numbered(1, 100), StatusLog::LineKind::plain);
    QScrollBar* bar = log_->verticalScrollBar();
    const auto checkWholeLines = [&](qreal line, const char* after) {
      QCOMPARE(log_->viewport()->height() % qRound(line), 0);
      QVERIFY2(log_->cursorRect(log_->cursorForPosition(QPoint(0, 0))).top() == 0, after);
    };
    for (const double points : {9.0, 20.0}) {
      QFont font = log_->font();
      font.setPointSizeF(points);
      log_->setFont(font);
      const qreal line = log_->cursorRect(QTextCursor(log_->document())).height();
      for (const auto& [height, lines] :
           {std::pair{log_->sizeHint().height(), StatusLog::preferredLines},
            std::pair{log_->minimumSizeHint().height(), StatusLog::minimumLines}}) {
        log_->setFixedHeight(height);
        QCOMPARE(log_->viewport()->height(), lines * qRound(line));
      }
      for (int extra = 0; extra < qCeil(line); extra += 3) {
        log_->setFixedHeight(log_->sizeHint().height() + extra);
        checkWholeLines(line, "resized");
        log_->showLine(40);
        checkWholeLines(line, "after a jump");
        QWheelEvent wheel(QPointF(5, 5), log_->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(log_->viewport(), &wheel);
        checkWholeLines(line, "after the wheel");
        bar->setSliderDown(true);
        bar->setSliderPosition(bar->maximum() - 1 - extra);
        bar->setSliderDown(false);
        checkWholeLines(line, "after a drag of the scroll bar");
      }
    }
  }
};

QTEST_MAIN(StatusLogTest)
#include "tst_status_log.moc"
