// Renders the window offscreen at the moments worth looking at and saves them as PNG files in the
// build folder (screenshots/), so that the layout can be checked without a desktop.
#include <QDir>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "image_fixtures.h"
#include "view_driver.h"

namespace fs = std::filesystem;

class ScreenshotsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void launchRunningAndFinished();
  void failedRun();

 private:
  void save(const QPixmap& shot, const char* name);

  // A readable name: the paths show in the pictures.
  QTemporaryDir scratch_{QDir::tempPath() + "/tarvolin-demo-XXXXXX"};
  fs::path root_;
  const fs::path screenshotDir_{TARVOLIN_SCREENSHOT_DIR};
};

void ScreenshotsTest::initTestCase() {
  QVERIFY(scratch_.isValid());
  root_ = scratch_.path().toStdString();
  fs::create_directories(screenshotDir_);
}

void ScreenshotsTest::save(const QPixmap& shot, const char* name) {
  const QString file = QString::fromStdString((screenshotDir_ / name).string());
  QVERIFY2(shot.save(file, "PNG"), qPrintable(file));
}

void ScreenshotsTest::launchRunningAndFinished() {
  const fs::path source = root_ / "site-images";
  fs::create_directories(source);
  for (const char* name : {"about-team.png", "banner.png", "contact-map.png", "hero-home.png", "logo.png"}) {
    writeLargePng(source / name);
  }
  writeBrokenImage(source / "wide-header.jpg", 600000);  // sorts last: its message shows above the summary
  for (int index = 1; index <= 24; ++index) {
    writeSmallJpeg(source / QStringLiteral("thumb-%1.jpg").arg(index, 2, 10, QChar('0')).toStdString());
  }

  ViewDriver driver;
  OptimizeContentView& view = driver.view();
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  const QPixmap launch = view.grab();
  save(launch, "launch.png");
  QCOMPARE(launch.size(), QSize(520, view.height()));

  driver.chooseSource(source);
  driver.chooseDest(root_ / "upload");
  // Taken inside the job that shows the third progress line: the run is certainly still going then.
  QPixmap running;
  connect(&view, &OptimizeContentView::statusLinesChanged, this, [&] {
    if (view.statusLines().size() == 4 && view.isRunning())
      running = view.grab();
  });
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
  QVERIFY(!running.isNull());
  save(running, "running.png");
  QCOMPARE(running.size(), QSize(520, launch.height() + 232));

  // As a user would after the run: scrolled to the end of the log to read the summary.
  QScrollBar* scrollBar = driver.statusLogText()->verticalScrollBar();
  QTRY_VERIFY(scrollBar->isVisible());  // shown once the event loop has laid out the last lines
  scrollBar->setValue(scrollBar->maximum());
  const QPixmap finished = view.grab();
  save(finished, "finished.png");
  QCOMPARE(finished.size(), running.size());
  QVERIFY(view.statusLines().contains("1 file(s) could not be optimized -- see the messages above."));
}

void ScreenshotsTest::failedRun() {
  const fs::path source = root_ / "failing-source";
  fs::create_directories(source);
  writeSmallJpeg(source / "photo.jpg");
  std::ofstream(root_ / "not-a-folder") << "a plain file";

  ViewDriver driver;
  driver.view().show();
  QVERIFY(QTest::qWaitForWindowExposed(&driver.view()));
  driver.chooseSource(source);
  driver.chooseDest(root_ / "not-a-folder" / "upload");
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
  QCOMPARE(driver.view().statusLines().size(), 2);
  save(driver.view().grab(), "failed.png");
}

QTEST_MAIN(ScreenshotsTest)
#include "tst_screenshots.moc"
