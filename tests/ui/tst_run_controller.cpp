// Runs of the real engine from the window, on generated images: the exact log, the spinner, the
// summary lines, and what closing the window during a run leaves behind.
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <fstream>
#include <set>

#include "test_images.h"
#include "run_log.h"
#include "view_driver.h"

namespace fs = std::filesystem;

namespace {

const QString starting = QString::fromUtf8("Starting\u2026");
const QStringList workedExampleLog{
    starting,
    "[1/2] a.png",
    "[2/2] b.jpg",
    "",
    "Done. 1 resized/converted, 1 already small.",
    "",
    "1 file(s) changed format and won't be overwritten on the server.",
    "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list."};

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::set<std::string> linesOf(const fs::path& file) {
  std::set<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    lines.insert(line);
  return lines;
}

// Every output name is final: no temporary file, and each listed PNG has its JPEG.
void verifyConsistentOutput(const fs::path& output) {
  const std::set<std::string> written = namesIn(output);
  std::size_t jpegs = 0;
  for (const std::string& name : written) {
    QVERIFY2(!name.starts_with(".tarvolin-"), name.c_str());
    jpegs += name.ends_with(".jpg") ? 1 : 0;
  }
  const std::set<std::string> listed = linesOf(output / "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt");
  QCOMPARE(listed.size(), jpegs);
  for (const std::string& png : listed)
    QVERIFY(written.contains(fs::path(png).replace_extension(".jpg").string()));
}

QStringList closingLines(const ImageOptimizer::Result& result) {
  QStringList lines;
  for (const std::string& line : run_log::closingLines(result))
    lines << QString::fromStdString(line);
  return lines;
}

}  // namespace

class RunControllerTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> scratch_;
  fs::path root_;

  fs::path workedExampleSource() {
    fs::create_directories(root_ / "source");
    test_images::writeLargePng(root_ / "source" / "a.png");
    test_images::writeSmallJpeg(root_ / "source" / "b.jpg");
    return root_ / "source";
  }

  fs::path twelveLargePngs() {
    for (int index = 10; index < 22; ++index)
      test_images::writeLargePng(root_ / ("image-" + std::to_string(index) + ".png"));
    return root_;
  }

 private slots:
  void init() {
    scratch_ = std::make_unique<QTemporaryDir>();  // a fresh folder for every test
    root_ = scratch_->path().toStdString();
  }

  void workedExample() {
    ViewDriver driver;
    QSignalSpy changes(driver.view.get(), &OptimizeContentView::statusLinesChanged);
    driver.start(workedExampleSource(), root_ / "out");
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.view->statusLines(), workedExampleLog);
    QCOMPARE(driver.logText()->toPlainText(), workedExampleLog.join('\n'));
    QCOMPARE(changes.size(), 4);  // "Starting…", a job per progress line, one closing job
    QCOMPARE(namesIn(root_ / "out"),
             (std::set<std::string>{"a.jpg", "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt"}));
  }

  void failingRunShowsOneErrorLine() {
    test_images::writeBytes(root_ / "plain-file", "not a folder");
    const fs::path destination = root_ / "plain-file" / "out";
    QString expected;  // the engine's own description of the failure, unchanged
    try {
      ImageOptimizer::run(root_, destination, ImageOptimizer::OutputMode::changedOnly,
                          [](const std::string&) {});
    } catch (...) {
      expected =
          "Error: " + QString::fromStdString(ImageOptimizer::errorDescription(std::current_exception()));
    }
    QVERIFY(expected.contains(QString::fromStdString(destination.string())));
    ViewDriver driver;
    driver.start(root_, destination);
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.view->statusLines(), (QStringList{starting, expected}));
  }

  void problemFileAndSecondRun() {
    const fs::path source = workedExampleSource();
    test_images::writeBrokenImage(source / "c.jpg", 600000);
    ViewDriver driver;
    driver.start(source, root_ / "out");
    QVERIFY(driver.waitUntilIdle());
    const QStringList lines = driver.view->statusLines();
    QCOMPARE(lines.size(), 11);
    QVERIFY2(lines[4].startsWith("  could not re-encode (kept the original): "), qPrintable(lines[4]));
    QCOMPARE(lines.mid(5, 3), (QStringList{"", "Done. 1 resized/converted, 1 already small.",
                                           "1 file(s) could not be optimized -- see the messages above."}));

    // A second run discards the whole first log.
    fs::remove(source / "c.jpg");
    QTest::mouseClick(driver.startButton(), Qt::LeftButton);
    QCOMPARE(driver.view->statusLines(), QStringList{starting});
    QCOMPARE(driver.logText()->toPlainText(), starting);
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.view->statusLines(), workedExampleLog);
  }

  void spinnerAndChoicesWhileRunning() {
    ViewDriver driver;
    driver.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(driver.view.get()));
    StartButton* button = driver.startButton();
    const QSize idleSize = button->size();
    QSignalSpy running(driver.view.get(), &OptimizeContentView::runningChanged);
    driver.start(workedExampleSource(), root_ / "out");
    // Set before the click returns; the engine has reported nothing yet.
    QVERIFY(driver.view->isRunning() && !button->isEnabled());
    QCOMPARE(driver.view->statusLines(), QStringList{starting});
    QVERIFY(button->text().isEmpty() && button->spinner()->isVisible() && button->spinner()->isSpinning());
    QCOMPARE(button->size(), idleSize);
    // The mode and the folders can change meanwhile; the run keeps the values it started with.
    QTest::mouseClick(driver.segment(1), Qt::LeftButton);
    QVERIFY(driver.find<QLabel>("modeDescription")->text().startsWith("Output folder is a complete copy"));
    driver.choose("destRow", root_ / "elsewhere");
    QVERIFY(driver.waitUntilIdle());
    QVERIFY(button->isEnabled() && button->spinner()->isHidden() && !button->spinner()->isSpinning());
    QCOMPARE(button->text(), "Optimize images");
    QCOMPARE(running.size(), 2);
    QCOMPARE(running[1][0].toBool(), false);
    QCOMPARE(driver.view->statusLines(), workedExampleLog);
    QVERIFY(fs::exists(root_ / "out" / "a.jpg") && !fs::exists(root_ / "elsewhere"));
  }

  void closingDuringARunStopsAfterTheFileInHand() {
    ViewDriver driver;
    driver.view->show();
    driver.start(twelveLargePngs(), root_ / "out");
    QTRY_VERIFY_WITH_TIMEOUT(driver.view->statusLines().size() >= 2, 60000);
    driver.view->close();
    QVERIFY(driver.waitUntilIdle());  // the worker has returned: its closing job ran
    const QStringList lines = driver.view->statusLines();
    const qsizetype progressLines = lines.filter(QRegularExpression("^\\[")).size();
    QVERIFY2(progressLines < 12, qPrintable(lines.join('\n')));
    QVERIFY(
        lines.contains(QStringLiteral("Done. %1 resized/converted, 0 already small.").arg(progressLines)));
    verifyConsistentOutput(root_ / "out");
    QCOMPARE(namesIn(root_ / "out").size(), static_cast<std::size_t>(progressLines + 1));
  }

  void destroyingDuringARunWaitsForTheFileInHand() {
    const fs::path source = twelveLargePngs();
    {
      ViewDriver driver;
      driver.start(source, root_ / "out");
      QVERIFY(driver.view->isRunning());
      driver.view.reset();  // as when the application quits with the run going on
    }
    QCoreApplication::sendPostedEvents();  // calls posted to the destroyed window are dropped, not run
    // The worker has finished with the window: the output folder is final and consistent.
    const std::set<std::string> written = namesIn(root_ / "out");
    verifyConsistentOutput(root_ / "out");
    QVERIFY(written.size() < 12);
    QCOMPARE(namesIn(root_ / "out"), written);
  }

  void summaryLinesInOrder() {
    ImageOptimizer::Result result{7, 3, 1, {"a.png", "b.png"}, 4};
    QCOMPARE(closingLines(result),
             (QStringList{"", "Done. 7 resized/converted, 3 already small.",
                          "1 came out larger after reprocessing -- kept the original instead.",
                          "4 file(s) could not be optimized -- see the messages above.", "",
                          "2 file(s) changed format and won't be overwritten on the server.",
                          "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list."}));
    QCOMPARE(closingLines(ImageOptimizer::Result{12345, 0, 0, {}, 0}),
             (QStringList{"", "Done. 12345 resized/converted, 0 already small."}));
  }
};

QTEST_MAIN(RunControllerTest)
#include "tst_run_controller.moc"
