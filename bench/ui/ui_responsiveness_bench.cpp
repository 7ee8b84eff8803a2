// Whether the window stays responsive while a run reports thousands of files: a heartbeat timer on the
// UI thread records every gap between its ticks, and the largest gap beyond its own interval is the
// longest time the UI thread was blocked. On a busy machine a gap can also be time the UI thread waited
// for a processor, so each gap's CPU time of the UI thread is printed too: that part is the window's own
// work, though on a virtual machine that does not report stolen time it counts the time the host took
// the processor away too. The longest single event the UI thread handled, and what it was, says which of
// the window's parts a long gap went to. Prints the figures and checks the log's ending. With a number
// of folders, the files are spread over that many subfolders and the run includes them.
//
//   QT_QPA_PLATFORM=offscreen build/bench/ui/tarvolin-ui-responsiveness [files [folders]]
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaEnum>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "fake_folder_chooser.h"
#include "folder_row.h"
#include "optimize_content_view.h"

namespace fs = std::filesystem;

namespace {

constexpr int heartbeatMs = 5;

double threadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Gap {
  qint64 wallMs;
  double cpuMs;  // of the UI thread
};

// Half small GIFs (always copied), half small JPEGs (counted as already small, copied in full
// replacement): the run is all bookkeeping and logging, the hardest case for the window. With
// `subfolders`, the files go round them in turn.
void makeSmallFiles(const fs::path& root, int count, int subfolders) {
  static const char gif[] =
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
      "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
  for (int index = 0; index < count; ++index) {
    const bool isGif = index % 2 == 0;
    const fs::path folder = subfolders > 0 ? root / ("folder-" + std::to_string(index % subfolders)) : root;
    fs::create_directories(folder);
    std::ofstream out(folder / ("file-" + std::to_string(index) + (isGif ? ".gif" : ".jpg")),
                      std::ios::binary);
    out.write(gif, sizeof gif - 1);
  }
}

// Times every event the event loop hands out (not those sent from inside another), and keeps the
// longest.
class TimedApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    if (nested_)
      return QApplication::notify(receiver, event);
    nested_ = true;
    QElapsedTimer took;
    took.start();
    const bool handled = QApplication::notify(receiver, event);
    nested_ = false;
    if (took.elapsed() > longestMs) {
      longestMs = took.elapsed();
      longestWhat = QStringLiteral("%1, %2 to %3 \"%4\"")
                        .arg(QString::number(took.elapsed()),
                             QLatin1String(QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type())),
                             QLatin1String(receiver->metaObject()->className()), receiver->objectName());
    }
    return handled;
  }

  qint64 longestMs = 0;
  QString longestWhat;

 private:
  bool nested_ = false;
};

void click(OptimizeContentView& view, const char* row) {
  QTest::mouseClick(view.findChild<FolderRow*>(row)->findChild<QPushButton*>("chooseButton"), Qt::LeftButton);
}

}  // namespace

int main(int argc, char** argv) {
  TimedApplication app(argc, argv);
  const int fileCount = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int folderCount = argc > 2 ? std::atoi(argv[2]) : 0;
  const fs::path root = fs::temp_directory_path() /
                        ("tarvolin-responsiveness-" + std::to_string(QCoreApplication::applicationPid()));
  makeSmallFiles(root / "source", fileCount, folderCount);

  auto chooser = std::make_unique<FakeFolderChooser>();
  chooser->answer(root / "source");
  chooser->answer(root / "output");
  OptimizeContentView view(std::move(chooser));
  view.show();
  click(view, "sourceRow");
  click(view, "destRow");
  QTest::mouseClick(view.findChild<QAbstractButton*>("fullReplacement"), Qt::LeftButton);
  if (folderCount > 0)
    QTest::mouseClick(view.findChild<QAbstractButton*>("includeSubfolders"), Qt::LeftButton);

  std::vector<Gap> gaps;
  QElapsedTimer sinceTick;
  double cpuAtTick = 0;
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const double cpu = threadCpuMs();
    gaps.push_back({sinceTick.restart(), cpu - cpuAtTick});
    cpuAtTick = cpu;
  });

  QElapsedTimer wall;
  wall.start();
  sinceTick.start();
  cpuAtTick = threadCpuMs();
  heartbeat.start(heartbeatMs);
  app.longestMs = 0;  // the run's events only
  QTest::mouseClick(view.findChild<QPushButton*>("startButton"), Qt::LeftButton);
  // A plain event loop, as the application runs: no test helper that sleeps between events.
  QEventLoop untilDone;
  QObject::connect(&view, &OptimizeContentView::runningChanged, &untilDone, [&](bool running) {
    if (!running)
      untilDone.quit();
  });
  untilDone.exec();
  heartbeat.stop();
  const qint64 runMs = wall.elapsed();

  std::sort(gaps.begin(), gaps.end(), [](const Gap& a, const Gap& b) { return a.wallMs < b.wallMs; });
  const auto blocked = [&](double quantile) {
    const Gap& gap = gaps[static_cast<std::size_t>(quantile * static_cast<double>(gaps.size() - 1))];
    return std::max<qint64>(0, gap.wallMs - heartbeatMs);
  };
  const Gap busiest = *std::max_element(gaps.begin(), gaps.end(),
                                        [](const Gap& a, const Gap& b) { return a.cpuMs < b.cpuMs; });
  const QStringList& lines = view.statusLines();
  // The closing lines: "Done. …", then the count of the GIF files copied.
  const QString expectedSummary =
      QStringLiteral("Done. 0 resized/converted, %1 already small.").arg(fileCount / 2);
  const QString expectedGifs =
      QStringLiteral("%1 GIF file(s) copied unchanged.").arg(fileCount - fileCount / 2);
  const bool summaryRight = lines.size() == fileCount + 4 && lines[lines.size() - 2] == expectedSummary &&
                            lines.last() == expectedGifs;

  std::printf("files: %d in %d subfolders, run: %lld ms, heartbeats: %zu\n", fileCount, folderCount,
              static_cast<long long>(runMs), gaps.size());
  std::printf("UI thread blocked, ms: median %lld, 99th percentile %lld, longest %lld\n",
              static_cast<long long>(blocked(0.5)), static_cast<long long>(blocked(0.99)),
              static_cast<long long>(blocked(1.0)));
  double cpuMs = 0;
  for (const Gap& gap : gaps)
    cpuMs += gap.cpuMs;
  std::printf("UI thread CPU time in the longest gap: %.1f ms; most in any gap: %.1f ms; in all: %.0f ms\n",
              gaps.back().cpuMs, busiest.cpuMs, cpuMs);
  std::printf("longest single event, ms: %s\n", qPrintable(app.longestWhat));
  std::printf("log: %lld lines, last: \"%s\" (%s)\n", static_cast<long long>(lines.size()),
              qPrintable(lines.isEmpty() ? QString() : lines.last()), summaryRight ? "as expected" : "WRONG");
  std::printf("files in the table: %d\n", view.findChild<QTableView*>("resultsTable")->model()->rowCount());
  fs::remove_all(root);
  return summaryRight ? 0 : 1;
}
