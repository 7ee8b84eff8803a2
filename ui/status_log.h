#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QTextCharFormat>
#include <QtMath>

// The status log: read-only selectable lines, whole at any height, one plain-text block each (the 10,000th
// costs what the 10th does); only the user scrolls it. Problem lines take the theme's warning colour.
class StatusLog : public QPlainTextEdit {
  Q_OBJECT

 public:
  // The lines the log shows when there is room, and at least where there is not (a small screen).
  static constexpr int preferredLines = 20;
  static constexpr int minimumLines = 4;

  enum class LineKind { plain, problem };

  explicit StatusLog(QWidget* parent = nullptr);

  void appendLines(const QStringList& lines, LineKind kind);
  void clearLines() {
    clear();
    lineCount_ = 0;
  }
  // At the user's request: the line at `index` selected, at the top of the view as far as it scrolls.
  void showLine(qsizetype index);

  QSize sizeHint() const override {
    return {QPlainTextEdit::sizeHint().width(), heightOfLines(preferredLines)};
  }
  QSize minimumSizeHint() const override {
    return {QPlainTextEdit::minimumSizeHint().width(), heightOfLines(minimumLines)};
  }

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override {
    fitWholeLines();
    QPlainTextEdit::resizeEvent(event);
  }

 private:
  static constexpr int padding = 4;  // around the text, where the document's own margin would be

  // A line of its font, as the layout stacks them (with the font's leading).
  int lineHeight() const { return qCeil(QFontMetricsF(font()).lineSpacing()); }
  // Whole lines of its font inside the padding and the frame.
  int heightOfLines(int lines) const { return lines * lineHeight() + 2 * (padding + frameWidth()); }
  void fitWholeLines();
  void markProblemLines();

  QTextCharFormat problemFormat_;
  qsizetype lineCount_ = 0;
};
