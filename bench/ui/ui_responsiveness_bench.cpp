// Whether the window stays responsive while a run reports thousands of files: a heartbeat timer on the
// UI thread records every gap between its ticks, and the largest gap beyond its own interval is the
// longest time the UI thread was blocked. Prints the figures and checks the log's ending.
//
//   QT_QPA_PLATFORM=offscreen build/bench/ui/tarvolin-ui-responsiveness [files]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
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
#include "start_button.h"

namespace fs = std::filesystem;

namespace {

constexpr int heartbeatMs = 5;

// Half small GIFs (always copied), half small JPEGs (counted as already small, copied in full
// replacement): the run is all bookkeeping and logging, the hardest case for the window.
void makeSmallFiles(const fs::path& folder, int count) {
  static const char gif[] =
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
      "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
  fs::create_directories(folder);
  for (int index = 0; index < count; ++index) {
    const bool isGif = index % 2 == 0;
    std::ofstream out(folder / ("file-" + std::to_string(index) + (isGif ? ".gif" : ".jpg")),
                      std::ios::binary);
    out.write(gif, sizeof gif - 1);
  }
}

void click(OptimizeContentView& view, const char* row) {
  QTest::mouseClick(view.findChild<FolderRow*>(row)->findChild<QPushButton*>("chooseButton"), Qt::LeftButton);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int fileCount = argc > 1 ? std::atoi(argv[1]) : 5000;
  const fs::path root = fs::temp_directory_path() /
                        ("tarvolin-responsiveness-" + std::to_string(QCoreApplication::applicationPid()));
  makeSmallFiles(root / "source", fileCount);

  auto chooser = std::make_unique<FakeFolderChooser>();
  chooser->answer(root / "source");
  chooser->answer(root / "output");
  OptimizeContentView view(std::move(chooser));
  view.show();
  click(view, "sourceRow");
  click(view, "destRow");
  QTest::mouseClick(view.findChild<QPushButton*>("segmentLast"), Qt::LeftButton);  // full replacement

  std::vector<qint64> gaps;
  QElapsedTimer sinceTick;
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] { gaps.push_back(sinceTick.restart()); });

  QElapsedTimer wall;
  wall.start();
  sinceTick.start();
  heartbeat.start(heartbeatMs);
  QTest::mouseClick(view.findChild<StartButton*>("startButton"), Qt::LeftButton);
  // A plain event loop, as the application runs: no test helper that sleeps between events.
  QEventLoop untilDone;
  QObject::connect(&view, &OptimizeContentView::runningChanged, &untilDone, [&](bool running) {
    if (!running)
      untilDone.quit();
  });
  untilDone.exec();
  heartbeat.stop();
  const qint64 runMs = wall.elapsed();

  std::sort(gaps.begin(), gaps.end());
  const auto blocked = [&](double quantile) {
    const qint64 gap = gaps[static_cast<std::size_t>(quantile * static_cast<double>(gaps.size() - 1))];
    return std::max<qint64>(0, gap - heartbeatMs);
  };
  const QStringList& lines = view.statusLines();
  const QString expectedSummary =
      QStringLiteral("Done. 0 resized/converted, %1 already small.").arg(fileCount / 2);
  const bool summaryRight = lines.size() == fileCount + 3 && lines.last() == expectedSummary;

  std::printf("files: %d, run: %lld ms, heartbeats: %zu\n", fileCount, static_cast<long long>(runMs),
              gaps.size());
  std::printf("UI thread blocked, ms: median %lld, 99th percentile %lld, longest %lld\n",
              static_cast<long long>(blocked(0.5)), static_cast<long long>(blocked(0.99)),
              static_cast<long long>(blocked(1.0)));
  std::printf("log: %lld lines, last: \"%s\" (%s)\n", static_cast<long long>(lines.size()),
              qPrintable(lines.isEmpty() ? QString() : lines.last()), summaryRight ? "as expected" : "WRONG");
  fs::remove_all(root);
  return summaryRight ? 0 : 1;
}
