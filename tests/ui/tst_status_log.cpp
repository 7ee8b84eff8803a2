// The status log on its own: lines in order, a scroll position that only the user moves, wrapping,
// line spacing, selection and copying, and the rounded block around it.
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
    QScrollBar* bar = log_->textView()->verticalScrollBar();
    QStringList lines = numbered(1, 500);
    log_->showLines(lines, 1);
    QTRY_VERIFY(bar->isVisible() && bar->maximum() > 0);
    QCOMPARE(bar->value(), 0);  // starts at the top and stays there
    // Wherever the user has scrolled to, also to the very end and with the text cursor at the end.
    for (const int position : {0, bar->maximum() / 2, bar->maximum()}) {
      log_->textView()->moveCursor(QTextCursor::End);  // the user's cursor: where new lines arrive
      bar->setValue(position);
      lines += numbered(lines.size() + 1, lines.size() + 500);
      log_->showLines(lines, 1);
      QCoreApplication::processEvents();
      QCOMPARE(bar->value(), position);
    }
    QVERIFY(bar->maximum() > bar->value());
  }

  void longLinesWrapAndLinesAreTwoApart() {
    log_->showLines({"first", "second", "  could not re-encode (kept the original): " + QString(300, 'x')},
                    1);
    QPlainTextEdit* text = log_->textView();
    const auto top = [&](int block) {
      return text->cursorRect(QTextCursor(text->document()->findBlockByNumber(block))).top();
    };
    const qreal lineHeight = text->document()->firstBlock().layout()->lineAt(0).height();
    QCOMPARE(top(1) - top(0), qRound(lineHeight) + 2);
    QTRY_VERIFY(text->document()->findBlockByNumber(2).layout()->lineCount() > 1);
    QCOMPARE(text->horizontalScrollBar()->maximum(), 0);
  }

  void textCanBeSelectedAndCopiedButNotEdited() {
    log_->showLines({"Starting\u2026", "[1/1] a.png"}, 1);
    QPlainTextEdit* text = log_->textView();
    text->setFocus();
    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("Starting\u2026\n[1/1] a.png"));
    QTest::keyClicks(text, "typed");
    QCOMPARE(text->toPlainText(), QString::fromUtf8("Starting\u2026\n[1/1] a.png"));
  }

  // About a dozen lines of its own font where there is room, a few where there is not.
  void heightCountsLinesOfItsFont() {
    for (const double points : {9.0, 20.0}) {
      QFont font = log_->font();
      font.setPointSizeF(points);
      log_->setFont(font);
      log_->showLines(numbered(1, 2), static_cast<std::uint64_t>(points));  // laid out in the new font
      const qreal line = log_->textView()->document()->firstBlock().layout()->lineAt(0).height() + 2;
      QCOMPARE(qRound((log_->sizeHint().height() - 16) / line), 12);
      QCOMPARE(qRound((log_->minimumSizeHint().height() - 16) / line), 4);
    }
  }

  void roundedBlockOnTheTextBackground() {
    QPalette palette = log_->palette();
    palette.setColor(QPalette::Base, QColor(0x12, 0x34, 0x56));
    palette.setColor(QPalette::Window, QColor(0xfe, 0xdc, 0xba));
    log_->setPalette(palette);
    log_->showLines(numbered(1, 400), 1);
    QCOMPARE(log_->textView()->geometry(), log_->rect().marginsRemoved(QMargins(8, 8, 8, 8)));
    const QImage image = log_->grab().toImage();
    const int right = image.width() - 1, bottom = image.height() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(right, bottom)})
      QCOMPARE(image.pixelColor(corner), QColor(0xfe, 0xdc, 0xba));
    for (const QPoint edge : {QPoint(0, bottom / 2), QPoint(right / 2, 0), QPoint(4, 4)})
      QCOMPARE(image.pixelColor(edge), QColor(0x12, 0x34, 0x56));
  }
};

QTEST_MAIN(StatusLogTest)
#include "tst_status_log.moc"
