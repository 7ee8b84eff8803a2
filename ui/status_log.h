#pragma once

#include <QFrame>
#include <QStringList>
#include <cstdint>

class QPlainTextEdit;

// The status log: selectable, wrapping, monospaced lines on the text-background colour in a rounded
// block. Appending costs the same at the ten-thousandth line as at the tenth: one plain-text block per
// line, laid out on its own (the rich-text layout would walk the earlier blocks again on every append),
// no widget per line. The program never moves the scroll position.
class StatusLog : public QFrame {
  Q_OBJECT

 public:
  static constexpr int scrollAreaHeight = 200;
  static constexpr int padding = 8;
  static constexpr int cornerRadius = 6;
  static constexpr int lineSpacing = 2;

  explicit StatusLog(QWidget* parent = nullptr);

  // Brings the text in line with `lines`. `generation` changes whenever the list was replaced rather
  // than extended; as long as it stays, only the lines beyond those already shown are added.
  void showLines(const QStringList& lines, std::uint64_t generation);

  QPlainTextEdit* textView() const { return text_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void applyStyle();
  void restart();
  void appendLines(const QStringList& lines, qsizetype from);

  QPlainTextEdit* text_;
  qsizetype shownLines_ = 0;
  std::uint64_t generation_ = 0;
};
