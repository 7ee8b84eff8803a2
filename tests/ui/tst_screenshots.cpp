// Renders the window offscreen, on a 1366 x 768 screen, at the moments worth looking at and saves them
// as PNG files in the build folder (screenshots/): at launch, during a run, after a long run with a
// problem file, while a run stops, after a failed run, after a run that saved space and after it at a
// 20 pt desktop font, and with the keyboard focus on the start button.
#include <QApplication>
#include <QDir>
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

  // Photos as a web folder holds them: large PNG screenshots and banners that become small JPEGs, and
  // small thumbnails left as they are.
  fs::path photoFolder() {
    const fs::path source = root_ / "blog-photos";
    if (fs::exists(source))
      return source;
    fs::create_directories(source);
    for (const char* name : {"beach-walk.png", "city-night.png", "harbour.png", "market-stall.png",
                             "mountain-pass.png", "old-town.png", "sunrise.png", "team-dinner.png"}) {
      test_images::writeLargePng(source / name);
    }
    for (int index = 1; index < 5; ++index)
      test_images::writeSmallJpeg(source / ("thumb-" + std::to_string(index) + ".jpg"));
    return source;
  }

  // A finished run over the photo folder, at the application font in force.
  void finishedWithSavings(const char* name) {
    ViewDriver driver;
    driver.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(driver.view.get()));
    driver.start(photoFolder(), root_ / "upload");
    QVERIFY(driver.waitUntilIdle());
    QVERIFY(driver.runFigures()->isVisible() && driver.showOutputFolder()->isVisible());
    save(driver.view->grab(), name);
  }

 private slots:
  void launchRunningAndFinished() {
    const fs::path source = root_ / "site-images";
    fs::create_directories(source);
    for (const char* name :
         {"about-team.png", "banner.png", "contact-map.png", "hero-home.png", "logo.png"}) {
      test_images::writeLargePng(source / name);
    }
    for (int index = 10; index < 34; ++index)
      test_images::writeSmallJpeg(source / ("thumb-" + std::to_string(index) + ".jpg"));
    test_images::writeBrokenImage(source / "wide-header.jpg",
                                  600000);  // sorts last: its message shows above the summary

    ViewDriver driver;
    OptimizeContentView& view = *driver.view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QPixmap launch = view.grab();
    save(launch, "launch.png");
    // Ready to start, the keyboard focus moved onto the start button.
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    driver.choose("sourceRow", source);
    driver.choose("destRow", root_ / "upload");
    driver.segment(0)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.segment(0), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), driver.startButton());
    QCoreApplication::sendPostedEvents();  // the rows laid out for their paths
    save(view.grab(), "focus-start-button.png");
    // Taken inside the job that shows the third progress line: the run is certainly still going then.
    QPixmap running;
    connect(&view, &OptimizeContentView::statusLinesChanged, this, [&] {
      if (view.statusLines().size() == 4 && view.isRunning())
        running = view.grab();
    });
    driver.start(source, root_ / "upload");
    QVERIFY(driver.waitUntilIdle());
    save(running, "running.png");
    QCOMPARE(running.size(),
             QSize(520, launch.height() + 16 + driver.find("statusLog")->sizeHint().height()));
    // As the run leaves it: the problem is named beside the sizes, the log still at its top.
    QVERIFY(driver.find("problemSummary")->isVisible());
    save(view.grab(), "finished.png");
  }

  // Closed during a run: the window says it is stopping until the images in hand are done.
  void stopping() {
    ScriptedEngine::Script script{.waitsForStop = true};
    for (std::size_t number = 1; number <= 12; ++number)
      script.events.push_back(
          ScriptedEngine::started(number, 39, "photo-" + std::to_string(number) + ".png"));
    ScriptedEngine engine(script);
    engine.hold();
    ViewDriver driver(engine.engine());
    driver.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(driver.view.get()));
    driver.start(photoFolder(), root_ / "upload");
    engine.release(script.events.size());
    QTRY_COMPARE(driver.view->statusLines().size(), 13);
    driver.view->close();
    QTRY_VERIFY(engine.stopSeen());
    QCoreApplication::sendPostedEvents();
    QVERIFY(driver.view->isStopping());
    save(driver.view->grab(), "stopping.png");
    engine.release();
  }

  void savings() { finishedWithSavings("finished-with-savings.png"); }

  void largeFont() {
    const QFont original = QApplication::font();
    QFont large = original;
    large.setPointSizeF(20);
    QApplication::setFont(large);
    finishedWithSavings("large-font.png");
    QApplication::setFont(original);
  }

  void failedRun() {
    test_images::writeBytes(root_ / "not-a-folder", "a plain file");
    ViewDriver driver;
    driver.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(driver.view.get()));
    driver.start(root_, root_ / "not-a-folder" / "upload");
    QVERIFY(driver.waitUntilIdle());
    save(driver.view->grab(), "failed.png");
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "tst_screenshots.moc"
