// How long the status log takes to show one more line, at the 10th line and at the 10,000th.
// Each measured step is what the window does per progress line: hand the new line to the log, then let
// the event loop lay out and paint. Measured in CPU time of the UI thread, so that other programs
// on the machine disturb the figures less; prints medians over several rounds, in microseconds.
//
//   build/bench/ui/tarvolin-ui-bench [rounds]
#include <time.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "status_log.h"

namespace {

constexpr int lineCount = 10000;
constexpr int window = 10;  // lines around each point of interest, to steady the figures

double threadCpuMicros() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

QString progressLine(int index) {
  QString line = QStringLiteral("[%1/%2] holiday-2023-%1.png").arg(index).arg(lineCount);
  if (index % 50 == 0) {
    line = QStringLiteral(
        "  could not re-encode (kept the original): the image is too large to decode safely "
        "(40000 x 30000 pixels), a line long enough to wrap inside the log");
  }
  return line;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

enum class Reader { atTop, atEnd };

// One round: 10,000 appends; returns the time per append, in microseconds, for every line.
std::vector<double> appendAll(Reader reader) {
  StatusLog log;
  log.setFixedWidth(472);
  log.show();
  QCoreApplication::processEvents();
  QScrollBar* scrollBar = log.verticalScrollBar();
  std::vector<double> micros(lineCount + 1, 0.0);
  for (int index = 1; index <= lineCount; ++index) {
    const QStringList line{progressLine(index)};
    // A reader who keeps scrolling to the end makes every append lay out the visible bottom lines.
    if (reader == Reader::atEnd)
      scrollBar->setValue(scrollBar->maximum());
    const double start = threadCpuMicros();
    log.appendLines(line, StatusLog::LineKind::plain);
    QCoreApplication::processEvents();
    micros[index] = threadCpuMicros() - start;
  }
  return micros;
}

// The median cost of the `window` lines ending at `last`, over all rounds' medians.
double around(const std::vector<std::vector<double>>& rounds, int last) {
  std::vector<double> medians;
  for (const std::vector<double>& micros : rounds) {
    medians.push_back(median({micros.begin() + last - window + 1, micros.begin() + last + 1}));
  }
  return median(medians);
}

void report(const char* title, Reader reader, int rounds) {
  std::vector<std::vector<double>> all;
  for (int round = 0; round < rounds; ++round)
    all.push_back(appendAll(reader));
  std::printf("%s\n", title);
  for (const int line : {10, 100, 1000, 5000, 10000}) {
    std::printf("  line %6d: %7.1f us  (median of lines %d-%d)\n", line, around(all, line), line - window + 1,
                line);
  }
  std::printf("  10,000th / 10th: %.2f    10,000th / 1,000th: %.2f\n", around(all, 10000) / around(all, 10),
              around(all, 10000) / around(all, 1000));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::printf("Status log append cost, %d rounds of %d lines, platform %s\n", rounds, lineCount,
              qPrintable(QApplication::platformName()));
  report("Reader stays at the top (the log never scrolls by itself):", Reader::atTop, rounds);
  // Here every line repaints the whole visible part of the log, which the first lines do not fill yet:
  // compare from the 1,000th line on.
  report("Reader scrolled to the end before every line:", Reader::atEnd, rounds);
  return 0;
}
