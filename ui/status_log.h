#pragma once

#include <QFrame>
#include <QList>
#include <QStringList>
#include <QTextCharFormat>
#include <cstdint>

class QPlainTextEdit;

// The status log: selectable, wrapping, monospaced lines on the text-background colour in a rounded
// block, its height counted in lines of its font. Appending costs the same at the ten-thousandth line as at
// the tenth: one plain-text block per line, laid out on its own (the rich-text layout would walk the earlier
// blocks again on every append), no widget per line. The program never moves the scroll position. Keyboard
// focus on the text shows as a ring around the block.
class StatusLog : public QFrame {
  Q_OBJECT

 public:
  // The lines the log shows when there is room, and at least where there is not (a small screen).
  static constexpr int preferredLines = 12;
  static constexpr int minimumLines = 4;
  static constexpr int padding = 8;
  static constexpr int cornerRadius = 6;
  static constexpr int lineSpacing = 2;

  explicit StatusLog(QWidget* parent = nullptr);

  // Brings the text in line with `lines`. `generation` changes whenever the list was replaced rather
  // than extended; as long as it stays, only the lines beyond those already shown are added. The lines
  // at the indexes in `problems` (ascending) are marked as warnings.
  void showLines(const QStringList& lines, std::uint64_t generation, const QList<qsizetype>& problems = {});
  // At the user's request: the line at `index` at the top of the view, as far as the log scrolls, with
  // the text cursor at its start.
  void scrollToLine(qsizetype index);

  QPlainTextEdit* textView() const { return text_; }

  // As tall as preferredLines of its font, at least minimumLines; it takes any height it is given.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void applyStyle();
  int heightOfLines(int lines) const;
  void restart();
  void appendLines(const QStringList& lines, const QList<qsizetype>& problems, qsizetype from);
  void markProblemLines();

  QPlainTextEdit* text_;
  QTextCharFormat problemFormat_;
  qsizetype shownLines_ = 0;
  std::uint64_t generation_ = 0;
};
