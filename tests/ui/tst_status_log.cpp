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

QStringList numberedLines(int from, int to) {
  QStringList lines;
  for (int index = from; index <= to; ++index)
    lines << QStringLiteral("[%1/2000] image-%1.png").arg(index);
  return lines;
}

QStringList blockTexts(const QPlainTextEdit* text) {
  QStringList texts;
  for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next())
    texts << block.text();
  return texts;
}

}  // namespace

class StatusLogTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void showsOneBlockPerLineInOrder();
  void extendingKeepsTheShownLinesAndReplacingDropsThem();
  void scrollPositionIsNeverMovedByNewLines();
  void longLinesWrap();
  void linesAreTwoApart();
  void textCanBeSelectedAndCopied();
  void blockLengths();
  void roundedTextBackground();

 private:
  std::unique_ptr<StatusLog> log_;
};

void StatusLogTest::init() {
  log_ = std::make_unique<StatusLog>();
  log_->setFixedWidth(472);
  log_->show();
  QVERIFY(QTest::qWaitForWindowExposed(log_.get()));
}

void StatusLogTest::cleanup() {
  log_.reset();
}

void StatusLogTest::showsOneBlockPerLineInOrder() {
  const QStringList lines{"Starting\u2026", "[1/1] a.png", "", "Done. 1 resized/converted, 0 already small."};
  log_->showLines(lines, 1);
  QCOMPARE(blockTexts(log_->textView()), lines);  // a blank entry is a blank row
}

void StatusLogTest::extendingKeepsTheShownLinesAndReplacingDropsThem() {
  log_->showLines({"one", "two"}, 1);
  QPlainTextEdit* text = log_->textView();
  text->setTextCursor(QTextCursor(text->document()->findBlockByNumber(1)));
  QTextCursor selection = text->textCursor();
  selection.select(QTextCursor::BlockUnderCursor);
  text->setTextCursor(selection);
  log_->showLines({"one", "two", "three"}, 1);
  QCOMPARE(blockTexts(text), (QStringList{"one", "two", "three"}));
  QVERIFY(text->textCursor().hasSelection());  // the user's selection survives an appended line

  log_->showLines({"new"}, 2);
  QCOMPARE(blockTexts(text), QStringList{"new"});
  // A replacement of equal length is still a replacement.
  log_->showLines({"other"}, 3);
  QCOMPARE(blockTexts(text), QStringList{"other"});
}

void StatusLogTest::scrollPositionIsNeverMovedByNewLines() {
  QScrollBar* bar = log_->textView()->verticalScrollBar();
  log_->showLines(numberedLines(1, 3), 1);
  QCoreApplication::processEvents();
  QVERIFY(!bar->isVisible());  // nothing to scroll yet
  QStringList lines = numberedLines(1, 500);
  log_->showLines(lines, 1);
  QTRY_VERIFY(bar->maximum() > 0);
  QTRY_VERIFY(bar->isVisible());
  QCOMPARE(bar->value(), 0);  // starts at the top and stays there

  lines += numberedLines(501, 1000);
  log_->showLines(lines, 1);
  QCOMPARE(bar->value(), 0);

  bar->setValue(bar->maximum() / 2);
  const int middle = bar->value();
  lines += numberedLines(1001, 2000);
  log_->showLines(lines, 1);
  QCOMPARE(bar->value(), middle);

  // Not even when the user's text cursor sits at the end of the text, where new lines arrive.
  QPlainTextEdit* text = log_->textView();
  QTextCursor atEnd(text->document());
  atEnd.movePosition(QTextCursor::End);
  text->setTextCursor(atEnd);
  bar->setValue(0);
  lines += numberedLines(2001, 2100);
  log_->showLines(lines, 1);
  QCOMPARE(bar->value(), 0);
  QCoreApplication::processEvents();
  QCOMPARE(bar->value(), 0);

  // Even at the very end the view does not follow new lines.
  QTRY_VERIFY(bar->maximum() > middle);
  bar->setValue(bar->maximum());
  const int end = bar->value();
  lines += numberedLines(2101, 2500);
  log_->showLines(lines, 1);
  QCOMPARE(bar->value(), end);
  QTRY_VERIFY(bar->maximum() > end);
}

void StatusLogTest::longLinesWrap() {
  const QString longLine = "  could not re-encode (kept the original): " + QString(300, 'x');
  log_->showLines({"short", longLine}, 1);
  QPlainTextEdit* text = log_->textView();
  QCOMPARE(text->horizontalScrollBar()->maximum(), 0);
  QTRY_VERIFY(text->document()->findBlockByNumber(1).layout()->lineCount() > 1);
  QCOMPARE(text->document()->findBlockByNumber(0).layout()->lineCount(), 1);
}

void StatusLogTest::linesAreTwoApart() {
  log_->showLines({"first", "second", "third"}, 1);
  QPlainTextEdit* text = log_->textView();
  QTextDocument* document = text->document();
  const auto topOf = [&](int blockNumber) {
    return text->cursorRect(QTextCursor(document->findBlockByNumber(blockNumber))).top();
  };
  const qreal lineHeight = document->findBlockByNumber(0).layout()->lineAt(0).height();
  QCOMPARE(topOf(1) - topOf(0), qRound(lineHeight) + 2);
  QCOMPARE(topOf(2) - topOf(1), qRound(lineHeight) + 2);
}

void StatusLogTest::textCanBeSelectedAndCopied() {
  QPlainTextEdit* text = log_->textView();
  QVERIFY(text->isReadOnly());
  QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByMouse);
  QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByKeyboard);
  log_->showLines({"Starting\u2026", "[1/1] a.png"}, 1);
  text->setFocus();
  QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("Starting\u2026\n[1/1] a.png"));
  // Typing changes nothing.
  QTest::keyClicks(text, "typed");
  QCOMPARE(blockTexts(text), (QStringList{"Starting\u2026", "[1/1] a.png"}));
}

void StatusLogTest::blockLengths() {
  log_->showLines({"line"}, 1);
  QCOMPARE(log_->height(), 216);
  QCOMPARE(log_->textView()->geometry(), QRect(8, 8, 456, 200));
  log_->showLines(numberedLines(1, 400), 2);
  QCOMPARE(log_->height(), 216);
  QCOMPARE(log_->textView()->height(), 200);
}

void StatusLogTest::roundedTextBackground() {
  QPalette palette = log_->palette();
  palette.setColor(QPalette::Base, QColor(0x12, 0x34, 0x56));
  palette.setColor(QPalette::Window, QColor(0xfe, 0xdc, 0xba));
  log_->setPalette(palette);
  log_->showLines({""}, 1);
  const QImage image = log_->grab().toImage();
  QCOMPARE(image.pixelColor(0, 0), QColor(0xfe, 0xdc, 0xba));  // cut off by the rounded corner
  QCOMPARE(image.pixelColor(0, image.height() / 2), QColor(0x12, 0x34, 0x56));
  QCOMPARE(image.pixelColor(image.width() / 2, 0), QColor(0x12, 0x34, 0x56));
  QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), QColor(0x12, 0x34, 0x56));
  QCOMPARE(image.pixelColor(image.width() - 1, image.height() - 1), QColor(0xfe, 0xdc, 0xba));
}

QTEST_MAIN(StatusLogTest)
#include "tst_status_log.moc"
