// Runs of the real engine from the window, on generated images: the exact log, the spinner, and what
// closing the window during a run leaves behind.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <set>

#include "busy_spinner.h"
#include "image_fixtures.h"
#include "start_button.h"
#include "view_driver.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

const QString starting = QString::fromUtf8("Starting\u2026");

QStringList workedExampleLog() {
  return {starting,
          "[1/2] a.png",
          "[2/2] b.jpg",
          "",
          "Done. 1 resized/converted, 1 already small.",
          "",
          "1 file(s) changed format and won't be overwritten on the server.",
          "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list."};
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::vector<std::string> linesOf(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

bool isTemporary(const std::string& name) {
  return name.starts_with(".tarvolin-") && name.ends_with(".tmp");
}

}  // namespace

class RunControllerTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void workedExample();
  void fullReplacementHasNoDeletionListLines();
  void emptySourceFolder();
  void failingRunShowsOneErrorLine();
  void problemFilesAreCountedAfterTheSummary();
  void secondRunDiscardsTheFirstLog();
  void spinnerWhileRunning();
  void choicesDuringARunDoNotChangeIt();
  void closingDuringARunStopsAfterTheFileInHand();
  void destroyingDuringARunWaitsForTheFileInHand();

 private:
  // a.png (large, converted) and b.jpg (small) in a fresh source folder.
  fs::path workedExampleSource();
  fs::path manyLargePngs(int count);

  std::unique_ptr<QTemporaryDir> scratch_;
  fs::path root_;
};

void RunControllerTest::init() {
  scratch_ = std::make_unique<QTemporaryDir>();  // a fresh folder for every test
  QVERIFY(scratch_->isValid());
  root_ = scratch_->path().toStdString();
}

fs::path RunControllerTest::workedExampleSource() {
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  writeLargePng(source / "a.png");
  writeSmallJpeg(source / "b.jpg");
  return source;
}

fs::path RunControllerTest::manyLargePngs(int count) {
  const fs::path source = root_ / "many";
  fs::create_directories(source);
  for (int index = 0; index < count; ++index) {
    writeLargePng(source / QStringLiteral("image-%1.png").arg(index, 2, 10, QChar('0')).toStdString());
  }
  return source;
}

void RunControllerTest::workedExample() {
  ViewDriver driver;
  driver.chooseSource(workedExampleSource());
  driver.chooseDest(root_ / "out");
  QSignalSpy lineChanges(&driver.view(), &OptimizeContentView::statusLinesChanged);
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());

  QCOMPARE(driver.view().statusLines(), workedExampleLog());
  QCOMPARE(driver.statusLogText()->toPlainText(), workedExampleLog().join('\n'));
  // "Starting…", one job per progress line, one closing job.
  QCOMPARE(lineChanges.size(), 4);
  QCOMPARE(namesIn(root_ / "out"),
           (std::set<std::string>{"a.jpg", "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt"}));
  QCOMPARE(linesOf(root_ / "out" / "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt"),
           std::vector<std::string>{"a.png"});
}

void RunControllerTest::fullReplacementHasNoDeletionListLines() {
  ViewDriver driver;
  driver.chooseSource(workedExampleSource());
  driver.chooseDest(root_ / "out");
  QTest::mouseClick(driver.segment(1), Qt::LeftButton);
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
  QCOMPARE(driver.view().statusLines(), (QStringList{starting, "[1/2] a.png", "[2/2] b.jpg", "",
                                                     "Done. 1 resized/converted, 1 already small."}));
  QCOMPARE(namesIn(root_ / "out"), (std::set<std::string>{"a.jpg", "b.jpg"}));
}

void RunControllerTest::emptySourceFolder() {
  fs::create_directories(root_ / "empty");
  ViewDriver driver;
  driver.chooseSource(root_ / "empty");
  driver.chooseDest(root_ / "out");
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
  QCOMPARE(driver.view().statusLines(),
           (QStringList{starting, "", "Done. 0 resized/converted, 0 already small."}));
}

void RunControllerTest::failingRunShowsOneErrorLine() {
  const fs::path source = workedExampleSource();
  std::ofstream(root_ / "plain-file") << "not a folder";
  const fs::path destination = root_ / "plain-file" / "out";
  // The line must carry the engine's own description of what went wrong, unchanged.
  QString expected;
  try {
    ImageOptimizer::run(source, destination, OutputMode::changedOnly, [](const std::string&) {});
  } catch (...) {
    expected = "Error: " + QString::fromStdString(ImageOptimizer::errorDescription(std::current_exception()));
  }
  QVERIFY(expected.contains(QString::fromStdString(destination.string())));

  ViewDriver driver;
  driver.chooseSource(source);
  driver.chooseDest(destination);
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
  QCOMPARE(driver.view().statusLines(), (QStringList{starting, expected}));
  QVERIFY(driver.startButton()->isEnabled());
}

void RunControllerTest::problemFilesAreCountedAfterTheSummary() {
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  writeLargePng(source / "a.png");
  writeBrokenImage(source / "broken.jpg", 600000);
  ViewDriver driver;
  driver.chooseSource(source);
  driver.chooseDest(root_ / "out");
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());

  const QStringList lines = driver.view().statusLines();
  QCOMPARE(lines.size(), 10);
  QCOMPARE(lines.mid(0, 3), (QStringList{starting, "[1/2] a.png", "[2/2] broken.jpg"}));
  QVERIFY2(lines[3].startsWith("  could not re-encode (kept the original): "), qPrintable(lines[3]));
  QCOMPARE(lines.mid(4),
           (QStringList{"", "Done. 1 resized/converted, 0 already small.",
                        "1 file(s) could not be optimized -- see the messages above.", "",
                        "1 file(s) changed format and won't be overwritten on the server.",
                        "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list."}));
}

void RunControllerTest::secondRunDiscardsTheFirstLog() {
  ViewDriver driver;
  driver.chooseSource(workedExampleSource());
  driver.chooseDest(root_ / "out");
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
  QCOMPARE(driver.view().statusLines().size(), 8);

  driver.clickStart();
  QCOMPARE(driver.view().statusLines(), QStringList{starting});
  QCOMPARE(driver.statusLogText()->toPlainText(), starting);
  QVERIFY(driver.waitUntilIdle());
  QCOMPARE(driver.view().statusLines(), workedExampleLog());
  QCOMPARE(driver.statusLogText()->toPlainText(), workedExampleLog().join('\n'));

  // And a failing third run keeps nothing of the second.
  std::ofstream(root_ / "plain-file") << "not a folder";
  driver.chooseDest(root_ / "plain-file" / "out");
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
  QCOMPARE(driver.view().statusLines().size(), 2);
  QCOMPARE(driver.view().statusLines().first(), starting);
  QVERIFY(driver.view().statusLines().last().startsWith("Error: "));
}

void RunControllerTest::spinnerWhileRunning() {
  ViewDriver driver;
  driver.view().show();
  QVERIFY(QTest::qWaitForWindowExposed(&driver.view()));
  driver.chooseSource(workedExampleSource());
  driver.chooseDest(root_ / "out");
  StartButton* button = driver.startButton();
  const QSize idleSize = button->size();
  QSignalSpy running(&driver.view(), &OptimizeContentView::runningChanged);

  driver.clickStart();
  // Set before the click returns, and the engine has not reported anything yet.
  QVERIFY(driver.view().isRunning());
  QCOMPARE(driver.view().statusLines(), QStringList{starting});
  QVERIFY(!button->isEnabled());
  QVERIFY(button->text().isEmpty());
  QVERIFY(button->spinner()->isVisible());
  QVERIFY(button->spinner()->isSpinning());
  QVERIFY(button->rect().contains(button->spinner()->geometry()));
  QCOMPARE(button->size(), idleSize);
  // Everything else stays usable during a run.
  QVERIFY(driver.chooseButton(driver.sourceRow())->isEnabled());
  QVERIFY(driver.chooseButton(driver.destRow())->isEnabled());
  QVERIFY(driver.segment(0)->isEnabled());
  QVERIFY(driver.segment(1)->isEnabled());

  QVERIFY(driver.waitUntilIdle());
  QVERIFY(button->isEnabled());
  QCOMPARE(button->text(), "Optimize images");
  QVERIFY(button->spinner()->isHidden());
  QVERIFY(!button->spinner()->isSpinning());
  QCOMPARE(running.size(), 2);
  QCOMPARE(running[0][0].toBool(), true);
  QCOMPARE(running[1][0].toBool(), false);
}

void RunControllerTest::choicesDuringARunDoNotChangeIt() {
  ViewDriver driver;
  driver.chooseSource(workedExampleSource());
  driver.chooseDest(root_ / "out");
  driver.clickStart();
  // The mode and the output folder change while the engine works on the values it was given.
  QTest::mouseClick(driver.segment(1), Qt::LeftButton);
  QCOMPARE(driver.view().mode(), OutputMode::fullReplacement);
  QVERIFY(driver.modeDescription()->text().startsWith("Output folder is a complete copy"));
  driver.chooseDest(root_ / "elsewhere");
  QVERIFY(!driver.startButton()->isEnabled());
  QVERIFY(driver.waitUntilIdle());

  QCOMPARE(driver.view().statusLines(), workedExampleLog());
  QVERIFY(fs::exists(root_ / "out" / "a.jpg"));
  QVERIFY(!fs::exists(root_ / "elsewhere"));
}

void RunControllerTest::closingDuringARunStopsAfterTheFileInHand() {
  constexpr int fileCount = 12;
  ViewDriver driver;
  driver.view().show();
  driver.chooseSource(manyLargePngs(fileCount));
  driver.chooseDest(root_ / "out");
  driver.clickStart();
  QTRY_VERIFY_WITH_TIMEOUT(driver.view().statusLines().size() >= 2, 60000);
  driver.view().close();
  QVERIFY(driver.waitUntilIdle());

  // The engine stopped between files and finished as usual: a summary of what it did.
  const QStringList lines = driver.view().statusLines();
  const auto progressLines =
      std::count_if(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith('['); });
  QVERIFY2(progressLines < fileCount, qPrintable(lines.join('\n')));
  QVERIFY(lines.contains(QStringLiteral("Done. %1 resized/converted, 0 already small.").arg(progressLines)));

  // Every file it started was finished and listed; nothing half-written or temporary is left.
  const std::set<std::string> written = namesIn(root_ / "out");
  QVERIFY(std::none_of(written.begin(), written.end(), isTemporary));
  QCOMPARE(static_cast<qsizetype>(written.size()), progressLines + 1);
  const auto listed = linesOf(root_ / "out" / "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt");
  QCOMPARE(static_cast<qsizetype>(listed.size()), progressLines);
  for (const std::string& png : listed)
    QVERIFY(written.contains(fs::path(png).replace_extension(".jpg").string()));
}

void RunControllerTest::destroyingDuringARunWaitsForTheFileInHand() {
  constexpr int fileCount = 12;
  const fs::path source = manyLargePngs(fileCount);
  {
    ViewDriver driver;
    driver.chooseSource(source);
    driver.chooseDest(root_ / "out");
    driver.clickStart();
    QVERIFY(driver.view().isRunning());
    driver.closeAndDestroy();  // as when the application quits: the window goes away with the run on
  }
  // Lines the worker posted before it was joined were dropped with the window, not run on it.
  QCoreApplication::sendPostedEvents();

  // When the window is gone the worker is too: the output folder is final and consistent.
  const std::set<std::string> written = namesIn(root_ / "out");
  QVERIFY(std::none_of(written.begin(), written.end(), isTemporary));
  const std::set<std::string> again = namesIn(root_ / "out");
  QCOMPARE(again, written);
  const auto jpegs = std::count_if(written.begin(), written.end(),
                                   [](const std::string& name) { return name.ends_with(".jpg"); });
  QVERIFY(jpegs < fileCount);
  if (jpegs > 0) {
    const auto listed = linesOf(root_ / "out" / "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt");
    QCOMPARE(static_cast<long>(listed.size()), static_cast<long>(jpegs));
  }
}

QTEST_MAIN(RunControllerTest)
#include "tst_run_controller.moc"
