// Runs from the window, of the real engine on generated images (the exact log, the progress, the
// summary lines) and of a stand-in engine the test steers (stopping, closing and destroying the window
// during a run); and the run controller on its own, its signals caught by spies.
#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <numeric>
#include <set>

#include "run_log.h"
#include "scripted_engine.h"
#include "test_images.h"
#include "view_driver.h"
#include "worked_example.h"

namespace fs = std::filesystem;
using Result = ImageOptimizer::Result;

namespace {

const QString starting = QString::fromUtf8("Starting\u2026");
const QStringList windowWorkedExampleLog = [] {
  QStringList lines{starting};
  for (const std::string& line : workedExampleLog)
    lines << QString::fromStdString(line);
  return lines;
}();

// What the window shows of a run that was stopped at its second of twelve files: the file in hand is
// reported, then the totals of the two files done and where the run stopped, as the engine ends a
// stopped run.
ScriptedEngine::Script stoppedAtTheSecondFile() {
  Result stopped{2, 0, 0, {"image-10.png", "image-11.png"}};
  stopped.stopped = ImageOptimizer::StopPoint{2, "image-11.png"};
  stopped.images = 12;
  return {.events = {ScriptedEngine::started(1, 12, "image-10.png"),
                     ScriptedEngine::reencoded(1, 12, "image-10.png"),
                     ScriptedEngine::started(2, 12, "image-11.png")},
          .waitsForStop = true,
          .inHand = {ScriptedEngine::reencoded(2, 12, "image-11.png")},
          .result = stopped};
}

const QStringList stoppedAtTheSecondFileLog{
    starting,
    "[1/12] image-10.png",
    "[2/12] image-11.png",
    "",
    "Done. 2 resized/converted, 0 already small.",
    "",
    "2 file(s) changed format and won't be overwritten on the server.",
    "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list.",
    "Stopped after image-11.png (2 of 12) -- the images after it were left as they are."};

// The one line that differs from the logs of earlier versions: a file that is no image is now named
// for what it is not, since only the JPEG and PNG decoders may run.
const QString notAnImageLine = "  could not re-encode (kept the original): not a JPEG or PNG image";

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

  // The folder the README's screenshots show: five PNGs that become JPEGs, 24 small JPEGs and, last in
  // name order, one file that is no image at all.
  fs::path siteImages() {
    const fs::path source = root_ / "site-images";
    fs::create_directories(source);
    for (const char* name : {"about-team.png", "banner.png", "contact-map.png", "hero-home.png", "logo.png"})
      test_images::writeLargePng(source / name);
    for (int index = 10; index < 34; ++index)
      test_images::writeSmallJpeg(source / ("thumb-" + std::to_string(index) + ".jpg"));
    test_images::writeBrokenImage(source / "wide-header.jpg", 600000);
    return source;
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
    QCOMPARE(driver.view->statusLines(), windowWorkedExampleLog);
    QCOMPARE(driver.logText()->toPlainText(), windowWorkedExampleLog.join('\n'));
    QCOMPARE(changes.size(), 4);  // "Starting…", a job per progress line, one closing job
    QCOMPARE(test_images::namesIn(root_ / "out"),
             (std::set<std::string>{"a.jpg", "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt"}));
  }

  void failingRunShowsOneErrorLine() {
    test_images::writeBytes(root_ / "plain-file", "not a folder");
    const fs::path destination = root_ / "plain-file" / "out";
    // Worded as the window worded it before the engine took over the wording.
    const QString expected = "Error: Not a directory: " + QString::fromStdString(destination.string());
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
    QCOMPARE(driver.view->statusLines(),
             (QStringList{starting, "[1/3] a.png", "[2/3] b.jpg", "[3/3] c.jpg", notAnImageLine, "",
                          "Done. 1 resized/converted, 1 already small.",
                          "1 file(s) could not be optimized -- see the messages above.", "",
                          "1 file(s) changed format and won't be overwritten on the server.",
                          "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list."}));

    // A second run discards the whole first log.
    fs::remove(source / "c.jpg");
    QTest::mouseClick(driver.startButton(), Qt::LeftButton);
    QCOMPARE(driver.view->statusLines(), QStringList{starting});
    QCOMPARE(driver.logText()->toPlainText(), starting);
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.view->statusLines(), windowWorkedExampleLog);
  }

  void progressAndDisabledChoicesWhileRunning() {
    ViewDriver driver;
    driver.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(driver.view.get()));
    QPushButton* button = driver.startButton();
    QSignalSpy running(driver.view.get(), &OptimizeContentView::runningChanged);
    driver.start(workedExampleSource(), root_ / "out");
    // Set before the click returns; the engine has reported nothing yet.
    QVERIFY(driver.view->isRunning() && !button->isEnabled() && driver.stopButton()->isVisible());
    QCOMPARE(driver.view->statusLines(), QStringList{starting});
    QVERIFY(driver.progress()->isVisible() && driver.progress()->maximum() == 0);  // busy
    // The mode and the folders cannot change meanwhile: the run keeps the values it started with.
    const auto choicesEnabled = [&] {
      return QList<bool>{driver.modeButton("fullReplacement")->isEnabled(),
                         driver.includeSubfolders()->isEnabled(),
                         driver.alsoAvif()->isEnabled(),
                         driver.chooseButton("sourceRow")->isEnabled(),
                         driver.chooseButton("destRow")->isEnabled(),
                         driver.row("sourceRow")->acceptDrops()};
    };
    QCOMPARE(choicesEnabled(), QList<bool>(6, false));
    QTest::mouseClick(driver.modeButton("fullReplacement"), Qt::LeftButton);
    QCOMPARE(driver.view->mode(), ImageOptimizer::OutputMode::changedOnly);
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(choicesEnabled(), QList<bool>(6, true));
    QVERIFY(button->isEnabled() && driver.stopButton()->isHidden());
    QCOMPARE(driver.progress()->text(), "2 of 2");
    QCOMPARE(running.size(), 2);
    QCOMPARE(running[1][0].toBool(), false);
    QCOMPARE(driver.view->statusLines(), windowWorkedExampleLog);
  }

  // "Include subfolders" and "Also save AVIF versions" reach the engine, off and on: the files of a
  // subfolder join the run only with the first, named by their path from the source folder; an AVIF
  // stands beside a JPEG the run writes only with the second.
  void checkBoxesReachTheEngine() {
    fs::create_directories(root_ / "source" / "blog");
    test_images::writeSmallJpeg(root_ / "source" / "b.jpg");
    test_images::writeSmallJpeg(root_ / "source" / "blog" / "team.jpg");
    test_images::writeP3RedJpeg(root_ / "source" / "p3.jpg", 2400, 1600);
    ViewDriver driver;
    driver.start(root_ / "source", root_ / "out");
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.view->statusLines().mid(1, 3), (QStringList{"[1/2] b.jpg", "[2/2] p3.jpg", ""}));
    QVERIFY(!fs::exists(root_ / "out" / "p3.jpg.avif"));
    QTest::mouseClick(driver.includeSubfolders(), Qt::LeftButton);
    QTest::mouseClick(driver.alsoAvif(), Qt::LeftButton);
    QTest::mouseClick(driver.startButton(), Qt::LeftButton);
    QVERIFY(driver.waitUntilIdle());
    const QStringList lines = driver.view->statusLines();
    QCOMPARE(lines.mid(1, 2), (QStringList{"[1/3] b.jpg", "[2/3] p3.jpg"}));  // then the AVIF's line
    QCOMPARE(lines.mid(4, 2), (QStringList{"[3/3] blog/team.jpg", ""}));
    QVERIFY(fs::exists(root_ / "out" / "p3.jpg.avif"));
  }

  // The stop button asks the engine to stop: the stand-in waits for nothing else, so a window that did not
  // ask would leave it waiting until it gives up. The window stays, says where the run stopped, and
  // counts the files the output folder kept, not those finished and thrown away. From the keyboard, the
  // focus goes from the start button to the stop button and back.
  void stopKeepsTheWindowAndSaysWhereTheRunStopped() {
    ScriptedEngine::Script script = stoppedAtTheSecondFile();
    script.events.push_back(ScriptedEngine::finished(5, 12));  // done out of turn, thrown away by the stop
    ScriptedEngine engine(script);
    engine.hold();
    ViewDriver driver(engine.engine());
    driver.view->show();
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
    driver.choose("sourceRow", root_);
    driver.choose("destRow", root_ / "out");
    driver.startButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.startButton(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), driver.stopButton());
    engine.release(4);
    QTRY_COMPARE(driver.view->statusLines().size(), 3);
    QTest::keyClick(driver.stopButton(), Qt::Key_Space);
    QTRY_VERIFY(engine.stopSeen());
    QCOMPARE(driver.runFigures()->text(), QString::fromUtf8("Stopping after the images in hand\u2026"));
    engine.release();
    QVERIFY(driver.waitUntilIdle());
    QVERIFY(driver.view->isVisible());
    QCOMPARE(driver.view->statusLines(), stoppedAtTheSecondFileLog);
    QVERIFY(driver.runFigures()->text().startsWith(stoppedAtTheSecondFileLog.last() + '\n'));
    QCOMPARE(driver.progress()->text(), "2 of 12");
    QCOMPARE(QApplication::focusWidget(), driver.startButton());
  }

  // The quit keys close the window, which stops the run as the stop button does. Until the files in
  // hand are finished the window stays and says so; then it closes, its log ending where the run stopped.
  void closingDuringARunStopsAfterTheFilesInHand() {
    ScriptedEngine engine(stoppedAtTheSecondFile());
    engine.hold();
    ViewDriver driver(engine.engine());
    driver.view->show();
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
    driver.start(root_, root_ / "out");
    engine.release(3);
    QTRY_COMPARE(driver.view->statusLines().size(), 3);  // the second file is in hand
    QTest::keyClick(driver.view.get(), Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(engine.stopSeen());
    QVERIFY(driver.view->isVisible() && driver.view->isRunning());
    QCOMPARE(driver.runFigures()->text(), QString::fromUtf8("Stopping after the images in hand\u2026"));
    engine.release();  // the file in hand is finished
    QTRY_VERIFY(!driver.view->isVisible());
    QCOMPARE(driver.view->statusLines(), stoppedAtTheSecondFileLog);
  }

  // As when the application quits with a run going on: the destructor asks for the stop and returns only
  // once the engine has returned. What the engine reported meanwhile is queued for the window and dropped
  // with it (in the sanitizer build, a call that ran would be a use after free).
  void destroyingDuringARunWaitsForTheFileInHand() {
    ScriptedEngine engine(stoppedAtTheSecondFile());
    {
      ViewDriver driver(engine.engine());
      driver.start(root_, root_ / "out");
      QTRY_COMPARE(driver.view->statusLines().size(), 3);
      QVERIFY(!engine.returned());
      driver.view.reset();
      QVERIFY(engine.stopSeen());
      QVERIFY(engine.returned());
    }
    QCoreApplication::sendPostedEvents();
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

  // The log of the folders these tests use reads line for line as the window wrote it before the engine
  // took over the wording; the worked example, the problem file and the failed run are checked above.
  void logReadsAsBefore_data() {
    QTest::addColumn<bool>("withImages");
    QTest::addColumn<QStringList>("expected");
    QStringList site{starting};
    const QStringList pngs{"about-team.png", "banner.png", "contact-map.png", "hero-home.png", "logo.png"};
    for (int index = 0; index < 30; ++index) {
      const QString name = index < 5    ? pngs[index]
                           : index < 29 ? QStringLiteral("thumb-%1.jpg").arg(index + 5)
                                        : QStringLiteral("wide-header.jpg");
      site << QStringLiteral("[%1/30] %2").arg(index + 1).arg(name);
    }
    site << notAnImageLine << ""
         << "Done. 5 resized/converted, 24 already small."
         << "1 file(s) could not be optimized -- see the messages above."
         << ""
         << "5 file(s) changed format and won't be overwritten on the server."
         << "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list.";
    QTest::newRow("the site images") << true << site;
    QTest::newRow("a folder without images")
        << false
        << QStringList{starting, "", "Done. 0 resized/converted, 0 already small.",
                       "No JPEG, PNG or GIF file is directly in the source folder."};
  }

  void logReadsAsBefore() {
    QFETCH(bool, withImages);
    QFETCH(QStringList, expected);
    fs::path source = root_ / "empty";
    fs::create_directories(source);
    if (withImages)
      source = siteImages();
    ViewDriver driver;
    driver.start(source, root_ / "upload");
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.view->statusLines(), expected);
  }

  // The controller without the window: every event and then the ending reach the controller's thread as
  // signals, in the order the engine reported them, whether the engine returns or throws.
  void controllerSignalsInOrderThenTheEndingOnce_data() {
    QTest::addColumn<bool>("engineThrows");
    QTest::newRow("the engine returns") << false;
    QTest::newRow("the engine throws") << true;
  }

  void controllerSignalsInOrderThenTheEndingOnce() {
    QFETCH(bool, engineThrows);
    constexpr std::size_t total = 300;
    ScriptedEngine::Script script;
    for (std::size_t number = 1; number <= total; ++number)
      script.events.push_back(
          ScriptedEngine::started(number, total, "image-" + std::to_string(number) + ".png"));
    const Result result{7, 3, 1, {"a.png"}, 0, 123456789, 23456789};
    script.result = engineThrows ? std::nullopt : std::optional<Result>(result);
    ScriptedEngine engine(script);
    RunController controller(engine.engine());
    std::vector<std::size_t> numbers;
    bool allOnTheControllersThread = true;
    bool reportedAfterTheEnding = false;
    QSignalSpy finished(&controller, &RunController::finished);
    QSignalSpy failed(&controller, &RunController::failed);
    connect(&controller, &RunController::reported, this, [&](const RunEvent& event) {
      numbers.push_back(std::get<FileStarted>(event).number);
      allOnTheControllersThread &= QThread::currentThread() == controller.thread();
      reportedAfterTheEnding |= !finished.isEmpty() || !failed.isEmpty();
    });
    controller.start({root_, root_ / "out", ImageOptimizer::OutputMode::changedOnly});
    QTRY_COMPARE(finished.size() + failed.size(), 1);
    controller.stopAndWait();
    QCoreApplication::sendPostedEvents();  // whatever else the worker had queued
    QCOMPARE(finished.size() + failed.size(), 1);
    QVERIFY(!reportedAfterTheEnding);
    QVERIFY(allOnTheControllersThread);
    QVERIFY(engine.workerThread() != std::this_thread::get_id());  // the calls did cross threads
    std::vector<std::size_t> expected(total);
    std::iota(expected.begin(), expected.end(), std::size_t{1});
    QCOMPARE(numbers, expected);
    if (engineThrows)
      QCOMPARE(failed[0][0].toString(), "Error: the stand-in engine failed");
    else
      QCOMPARE(finished[0][0].value<Result>(), result);
  }

  // Calls still queued when the controller is destroyed are dropped: none of them runs later.
  void callsQueuedForADestroyedControllerAreDropped() {
    ScriptedEngine engine(
        {.events = {ScriptedEngine::started(1, 2, "a.png"), ScriptedEngine::started(2, 2, "b.png")}});
    auto controller = std::make_unique<RunController>(engine.engine());
    int calls = 0;
    connect(controller.get(), &RunController::reported, this, [&] { ++calls; });
    connect(controller.get(), &RunController::finished, this, [&] { ++calls; });
    controller->start({root_, root_ / "out", ImageOptimizer::OutputMode::changedOnly});
    controller->stopAndWait();  // the stand-in ignores the stop: both events and the ending are queued
    QVERIFY(engine.returned());
    controller.reset();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(calls, 0);
  }
};

QTEST_MAIN(RunControllerTest)
#include "tst_run_controller.moc"
