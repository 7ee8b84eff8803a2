// Renders the window offscreen at the moments worth looking at and saves them as PNG files in the
// build folder (screenshots/): at launch, during a run, after a long run with a problem file, after a
// failed run.
#include <QDir>
#include <QScrollBar>
#include <QTemporaryDir>

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
    test_images::writeBrokenImage(source / "wide-header.jpg", 600000);  // sorts last: its message shows above the summary

    ViewDriver driver;
    OptimizeContentView& view = *driver.view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QPixmap launch = view.grab();
    save(launch, "launch.png");
    // Taken inside the job that shows the third progress line: the run is certainly still going then.
    QPixmap running;
    connect(&view, &OptimizeContentView::statusLinesChanged, this, [&] {
      if (view.statusLines().size() == 4 && view.isRunning())
        running = view.grab();
    });
    driver.start(source, root_ / "upload");
    QVERIFY(driver.waitUntilIdle());
    save(running, "running.png");
    QCOMPARE(running.size(), QSize(520, launch.height() + 232));
    // As a user would after the run: scrolled to the end of the log to read the summary.
    QScrollBar* scrollBar = driver.logText()->verticalScrollBar();
    QTRY_VERIFY(scrollBar->isVisible());
    scrollBar->setValue(scrollBar->maximum());
    save(view.grab(), "finished.png");
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
