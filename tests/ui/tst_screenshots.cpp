// Renders the window offscreen, on a 1366 x 768 screen, at the moments worth looking at and saves them
// as PNG files in the build folder (screenshots/): at launch with the focus on the first control, during
// a run, after a long run with a problem file (its log and its table of files), while a run stops and
// once it has stopped, after a failed run, after a run that saved space, that run at a 20 pt desktop
// font, and its table in a dark theme.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include "scripted_engine.h"
#include "test_images.h"
#include "view_driver.h"

namespace fs = std::filesystem;

class ScreenshotsTest : public QObject {
  Q_OBJECT

  QTemporaryDir scratch_{QDir::tempPath() + "/tarvolin-demo-XXXXXX"};  // the paths show in the pictures
  const fs::path root_{scratch_.path().toStdString()};

  static void save(const QPixmap& shot, const char* name) {
    const fs::path folder = TARVOLIN_SCREENSHOT_DIR;
    fs::create_directories(folder);
    QVERIFY(shot.save(QString::fromStdString((folder / name).string()), "PNG"));
  }

  static void showActive(ViewDriver& driver) {
    driver.view->show();
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
  }

  // Photos as a web folder holds them: large PNG screenshots and banners that become small JPEGs, small
  // thumbnails in a subfolder left as they are, and one file that is no image at all.
  fs::path photoFolder() {
    const fs::path source = root_ / "blog-photos";
    if (fs::exists(source))
      return source;
    fs::create_directories(source / "thumbs");
    for (const char* name : {"beach-walk.png", "city-night.png", "harbour.png", "market-stall.png",
                             "mountain-pass.png", "old-town.png", "sunrise.png", "team-dinner.png"}) {
      test_images::writeLargePng(source / name);
    }
    for (int index = 1; index < 5; ++index)
      test_images::writeSmallJpeg(source / "thumbs" / ("thumb-" + std::to_string(index) + ".jpg"));
    test_images::writeBrokenImage(source / "wide-header.jpg", 600000);
    return source;
  }

  void startOnPhotos(ViewDriver& driver) {
    QTest::mouseClick(driver.includeSubfolders(), Qt::LeftButton);
    driver.start(photoFolder(), root_ / "upload");
  }

  // A finished run over the photo folder, in the font and colours in force, on the results' tab `tab`.
  void finishedRun(const char* name, int tab = 0) {
    ViewDriver driver;
    showActive(driver);
    startOnPhotos(driver);
    QVERIFY(driver.waitUntilIdle());
    QVERIFY(driver.link("problemSummary")->isVisible());
    driver.find<QTabWidget>("results")->setCurrentIndex(tab);
    driver.table()->sortByColumn(1, Qt::AscendingOrder);  // the smallest first: left out, then the problem
    save(driver.view->grab(), name);
  }

 private slots:
  void launchRunningAndFinished() {
    ViewDriver driver;
    showActive(driver);
    save(driver.view->grab(), "launch.png");
    // Taken inside the job that shows the third progress line: the run is certainly still going then.
    QPixmap running;
    connect(driver.view.get(), &OptimizeContentView::statusLinesChanged, this, [&] {
      if (driver.view->statusLines().size() == 4 && driver.view->isRunning())
        running = driver.view->grab();
    });
    startOnPhotos(driver);
    QVERIFY(driver.waitUntilIdle());
    save(running, "running.png");
    save(driver.view->grab(), "finished.png");
    driver.find<QTabWidget>("results")->setCurrentIndex(1);
    save(driver.view->grab(), "finished-table.png");
  }

  // Stopped with the stop button: the window says it is stopping until the images in hand are done, and
  // then where the run stopped.
  void stoppingAndStopped() {
    ImageOptimizer::Result stopped{12, 0, 0, {}, 0, 24000000, 2400000};
    stopped.images = 39;
    stopped.stopped = ImageOptimizer::StopPoint{12, "photo-12.png"};
    ScriptedEngine::Script script{.waitsForStop = true, .result = stopped};
    for (std::size_t number = 1; number <= 12; ++number) {
      const std::string name = "photo-" + std::to_string(number) + ".png";
      script.events.push_back(ScriptedEngine::started(number, 39, name));
      script.events.push_back(ScriptedEngine::reencoded(number, 39, name));
    }
    ScriptedEngine engine(script);
    engine.hold();
    ViewDriver driver(engine.engine());
    showActive(driver);
    driver.start(photoFolder(), root_ / "upload");
    engine.release(script.events.size());
    QTRY_COMPARE(driver.view->statusLines().size(), 13);
    QTest::mouseClick(driver.stopButton(), Qt::LeftButton);
    QTRY_VERIFY(engine.stopSeen());
    QCoreApplication::sendPostedEvents();
    save(driver.view->grab(), "stopping.png");
    engine.release();
    QVERIFY(driver.waitUntilIdle());
    save(driver.view->grab(), "stopped.png");
  }

  void failedRun() {
    test_images::writeBytes(root_ / "not-a-folder", "a plain file");
    ViewDriver driver;
    showActive(driver);
    driver.start(root_, root_ / "not-a-folder" / "upload");
    QVERIFY(driver.waitUntilIdle());
    save(driver.view->grab(), "failed.png");
  }

  void largeFont() {
    const QFont original = QApplication::font();
    QFont large = original;
    large.setPointSizeF(20);
    QApplication::setFont(large);
    finishedRun("large-font.png");
    QApplication::setFont(original);
  }

  void darkTheme() {
    const QPalette original = QApplication::palette();
    QPalette dark(QColor(0x3a, 0x3a, 0x3a), QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe0));
    dark.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
    QApplication::setPalette(dark);
    finishedRun("dark.png", 1);
    QApplication::setPalette(original);
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "tst_screenshots.moc"
