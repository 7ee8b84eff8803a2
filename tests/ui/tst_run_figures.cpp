// What the window shows beside and below the start button, from runs of a stand-in engine the test
// steers: the count of placed files during a run, the bytes before and after once it has succeeded,
// nothing after a failed run, the problem line, and the link that shows the run's output folder.
#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>

#include "contrast.h"
#include "run_log.h"
#include "scripted_engine.h"
#include "view_driver.h"

namespace fs = std::filesystem;
using Result = ImageOptimizer::Result;

namespace {

// Three files, each started and then finished; the run returns `result`.
ScriptedEngine::Script threeFiles(std::optional<Result> result) {
  ScriptedEngine::Script script;
  for (std::size_t number = 1; number <= 3; ++number) {
    const std::string name = "photo-" + std::to_string(number) + ".png";
    script.events.push_back(ScriptedEngine::started(number, 3, name));
    script.events.push_back(ScriptedEngine::reencoded(number, 3, name));
  }
  script.result = std::move(result);
  return script;
}

}  // namespace

class RunFiguresTest : public QObject {
  Q_OBJECT

  const ScratchFolder scratch_;

 private slots:
  // Busy before the run has reported a file, "0 of 3" once it has, then one more with each outcome (not
  // with each start), up to "3 of 3" while the run is still going. The log is left as it was.
  void countFollowsTheOutcomes() {
    ScriptedEngine engine(threeFiles(Result{3, 0, 0, {}, 0, 6000000, 600000}));
    engine.hold();
    ViewDriver driver(engine.engine());
    driver.start(scratch_.root, scratch_.root / "out");
    QLabel* figures = driver.runFigures();
    QVERIFY(figures->isHidden());
    for (int event = 0; event < 6; ++event) {
      const QStringList linesBefore = driver.view->statusLines();
      engine.release();
      const QString expected = QStringLiteral("%1 of 3").arg((event + 1) / 2);
      QTRY_COMPARE(driver.progress()->text(), expected);
      if (event % 2 == 0)
        QTRY_COMPARE(driver.view->statusLines().size(), linesBefore.size() + 1);  // the file's progress line
    }
    QVERIFY(driver.view->isRunning() && figures->isHidden());
    QVERIFY(driver.link("showOutputFolder")->isHidden());
    QCOMPARE(driver.view->statusLines(),
             (QStringList{QString::fromUtf8("Starting\u2026"), "[1/3] photo-1.png", "[2/3] photo-2.png",
                          "[3/3] photo-3.png"}));
    engine.release();  // the run returns
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(figures->text(), QString::fromUtf8("6.0 MB \u2192 600.0 kB (90 % smaller)"));
  }

  // The engine's own words for the bytes, whatever the run achieved.
  void bytesOfASucceededRun_data() {
    QTest::addColumn<Result>("result");
    QTest::addColumn<QString>("expected");
    QTest::newRow("much smaller") << Result{39, 0, 0, {}, 0, 72900000, 4100000}
                                  << QString::fromUtf8("72.9 MB \u2192 4.1 MB (94 % smaller)");
    QTest::newRow("no images") << Result{} << QString::fromUtf8("0 bytes \u2192 0 bytes (unchanged)");
    QTest::newRow("nothing got smaller")
        << Result{0, 2, 1, {}, 0, 5300000, 5300000} << QString::fromUtf8("5.3 MB \u2192 5.3 MB (unchanged)");
  }

  void bytesOfASucceededRun() {
    QFETCH(Result, result);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(run_log::bytesSavedText(result)), expected);  // one wording, the engine's
    ScriptedEngine engine(threeFiles(result));
    ViewDriver driver(engine.engine());
    driver.start(scratch_.root, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.runFigures()->text(), expected);
    QVERIFY(driver.runFigures()->isVisibleTo(driver.view.get()));
    QVERIFY(driver.link("showOutputFolder")->isVisibleTo(driver.view.get()));
  }

  // A failed run shows neither figures nor the link, also where the run before it had succeeded.
  void nothingAfterAFailedRun() {
    ScriptedEngine succeeds(threeFiles(Result{3, 0, 0, {}, 0, 6000000, 600000}));
    ScriptedEngine fails(threeFiles(std::nullopt));
    bool second = false;
    ViewDriver driver(
        [&](const RunController::Job& job, const RunEventHandler& report, std::stop_token stop) {
          return (second ? fails : succeeds).engine()(job, report, std::move(stop));
        });
    driver.start(scratch_.root, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    QVERIFY(!driver.runFigures()->isHidden() && !driver.link("showOutputFolder")->isHidden());
    second = true;
    QTest::mouseClick(driver.startButton(), Qt::LeftButton);
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(driver.view->statusLines().last(), "Error: the stand-in engine failed");
    QVERIFY(driver.runFigures()->isHidden());
    QVERIFY(driver.link("showOutputFolder")->isHidden());
  }

  // After a run with a problem file, the line beside the sizes says so in a warning colour, and the
  // log marks the problem's line (not its neighbours) the same way. Activating the line brings the problem
  // and its file's line into view.
  void problemLineLeadsToTheProblemInTheLog() {
    ScriptedEngine::Script script{.result = Result{59, 0, 0, {}, 1}};
    for (std::size_t number = 1; number <= 60; ++number)
      script.events.push_back(ScriptedEngine::started(number, 60, "photo.png"));
    FileOutcome broken = ScriptedEngine::reencoded(45, 60, "photo.png");
    broken.fate = FileFate::failed;
    script.events.insert(script.events.begin() + 45, broken);  // line 46 of the log, below its file's
    ScriptedEngine engine(script);
    ViewDriver driver(engine.engine());
    driver.view->show();
    driver.start(scratch_.root, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    QLabel* problems = driver.link("problemSummary");
    QVERIFY(problems->isVisible());
    QCOMPARE(problems->accessibleName(), "1 image could not be optimized -- see the log");
    QVERIFY(problems->text().contains(warningTextColor(problems->palette().color(QPalette::Window)).name()));
    QPlainTextEdit* log = driver.logText();
    const auto colourOf = [&](int line) {
      return log->document()->findBlockByNumber(line).begin().fragment().charFormat().foreground().color();
    };
    QCOMPARE(colourOf(46), warningTextColor(log->palette().color(QPalette::Base)));
    QVERIFY(colourOf(45) != colourOf(46) && colourOf(47) != colourOf(46));
    ViewDriver::activate(problems);
    const QTextBlock problem = log->document()->findBlockByNumber(46);
    for (const QTextBlock& shown : {problem.previous(), problem})
      QVERIFY(log->viewport()->rect().contains(log->cursorRect(QTextCursor(shown))));
  }

  // A new choice of folder, mode or either check box makes what the window says about the last run
  // stale: it goes, also the path of an output folder that nothing could show.
  void aNewChoiceClearsTheLastRunsOutcome_data() {
    QTest::addColumn<QByteArray>("choice");
    QTest::newRow("source folder") << QByteArray("sourceRow");
    QTest::newRow("output folder") << QByteArray("destRow");
    QTest::newRow("mode") << QByteArray("mode");
    QTest::newRow("subfolders") << QByteArray("includeSubfolders");
    QTest::newRow("AVIF") << QByteArray("alsoAvif");
  }

  void aNewChoiceClearsTheLastRunsOutcome() {
    QFETCH(QByteArray, choice);
    ScriptedEngine engine(threeFiles(Result{2, 0, 0, {}, 1, 6000000, 600000}));
    ViewDriver driver(engine.engine());
    driver.start(scratch_.root, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    *driver.opensFolders = false;  // nothing can show the folder: the window gives its path instead
    ViewDriver::activate(driver.link("showOutputFolder"));
    QCOMPARE(driver.find<QLineEdit>("unopenedFolder")->text(),
             QString::fromStdString((scratch_.root / "out").string()));
    const QList<QWidget*> outcome{driver.runFigures(), driver.find("problemSummary"),
                                  driver.link("showOutputFolder"), driver.find("openFailure")};
    for (QWidget* shown : outcome)
      QVERIFY(!shown->isHidden());
    if (choice == "mode")
      QTest::mouseClick(driver.modeButton("fullReplacement"), Qt::LeftButton);
    else if (choice == "includeSubfolders" || choice == "alsoAvif")
      QTest::mouseClick(driver.find<QCheckBox>(choice.constData()), Qt::LeftButton);
    else
      driver.choose(choice.constData(), scratch_.root / "elsewhere");
    for (QWidget* shown : outcome)
      QVERIFY2(shown->isHidden(), qPrintable(shown->objectName()));
    QCOMPARE(driver.view->statusLines().size(), 7);  // the log stays
  }

  // The link shows the folder the run wrote to. Tab and Shift+Tab stop once at each link, either way,
  // with no selection in its text (a second frame round it).
  void linkShowsTheRunsOutputFolder() {
    ScriptedEngine engine(threeFiles(Result{2, 0, 0, {}, 1, 6000000, 600000}));
    ViewDriver driver(engine.engine());
    driver.view->show();
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
    driver.start(scratch_.root, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    QVERIFY(driver.openedFolders->empty());
    const QList<QWidget*> order{driver.startButton(), driver.link("problemSummary"),
                                driver.link("showOutputFolder"),
                                driver.find<QTabWidget>("results")->tabBar()};
    order.first()->setFocus(Qt::TabFocusReason);
    for (const auto& [key, step] : {std::pair{Qt::Key_Tab, 1}, {Qt::Key_Backtab, -1}}) {
      for (qsizetype index = step > 0 ? 1 : order.size() - 2; index >= 0 && index < order.size();
           index += step) {
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(QApplication::focusWidget(), order[index]);
        QVERIFY(!driver.link("problemSummary")->hasSelectedText() &&
                !driver.link("showOutputFolder")->hasSelectedText());
      }
    }
    driver.link("showOutputFolder")->setFocus(Qt::BacktabFocusReason);
    QTest::keyClick(driver.link("showOutputFolder"), Qt::Key_Return);
    QCOMPARE(*driver.openedFolders, std::vector<fs::path>{scratch_.root / "out"});
    QCOMPARE(driver.link("showOutputFolder")->accessibleName(), "Show output folder");
  }
};

QTEST_MAIN(RunFiguresTest)
#include "tst_run_figures.moc"
