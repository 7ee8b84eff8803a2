// The window without running the engine for real: launch state, layout lengths, text styles, the mode
// control, the start button's enabling, keyboard focus and accessible names.
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "busy_spinner.h"
#include "elided_label.h"
#include "folder_row.h"
#include "start_button.h"
#include "status_log.h"
#include "text_styles.h"
#include "view_driver.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

const QString changedOnlyText =
    "Output folder only contains files that actually changed -- smaller, faster to upload, but any renamed "
    "PNGs need the old ones deleted from the server manually (see the list this produces).";
const QString fullReplacementText =
    "Output folder is a complete copy of the source, ready to replace the whole live folder in one upload -- "
    "simpler, but uploads everything even if most files didn't change.";

// The children of the window's column, top to bottom, leaving out hidden ones.
QList<QWidget*> visibleChildren(QWidget* view) {
  QList<QWidget*> shown;
  for (int index = 0; index < view->layout()->count(); ++index) {
    QWidget* child = view->layout()->itemAt(index)->widget();
    if (child != nullptr && !child->isHidden())
      shown << child;
  }
  return shown;
}

int gapBetween(const QWidget* above, const QWidget* below) {
  return below->y() - (above->y() + above->height());
}

}  // namespace

class ContentViewTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void launchState();
  void launchGeometry();
  void logGeometryAndGrowth();
  void textStylesFollowTheApplicationFont();
  void coloursFollowThePalette();
  void startButtonNeedsBothFolders_data();
  void startButtonNeedsBothFolders();
  void modeSwitchesWithItsDescription();
  void tabReachesEveryControl();
  void controlsHaveAccessibleNames();

 private:
  // A run that fails at once (the output folder would be inside a plain file): brings up the log.
  void runIntoError(ViewDriver& driver);

  QTemporaryDir scratch_;
  fs::path root_;
};

void ContentViewTest::init() {
  QVERIFY(scratch_.isValid());
  root_ = scratch_.path().toStdString();
}

void ContentViewTest::runIntoError(ViewDriver& driver) {
  fs::create_directories(root_ / "source");
  std::ofstream(root_ / "plain-file") << "not a folder";
  driver.chooseSource(root_ / "source");
  driver.chooseDest(root_ / "plain-file" / "out");
  driver.clickStart();
  QVERIFY(driver.waitUntilIdle());
}

void ContentViewTest::launchState() {
  ViewDriver driver;
  OptimizeContentView& view = driver.view();
  QCOMPARE(view.sourceFolder(), std::nullopt);
  QCOMPARE(view.destFolder(), std::nullopt);
  QCOMPARE(view.mode(), OutputMode::changedOnly);
  QVERIFY(view.statusLines().isEmpty());
  QVERIFY(!view.isRunning());

  // Heading, two folder rows, the mode section and the start button; no log and no gap for it.
  const QList<QWidget*> shown = visibleChildren(&view);
  QCOMPARE(shown.size(), 5);
  QCOMPARE(qobject_cast<QLabel*>(shown[0])->text(), "Image Optimizer");
  QCOMPARE(shown[1], driver.sourceRow());
  QCOMPARE(shown[2], driver.destRow());
  QCOMPARE(shown[3]->objectName(), "modeSection");
  QCOMPARE(shown[4], driver.startButton());
  QVERIFY(driver.statusLog()->isHidden());

  for (FolderRow* row : {driver.sourceRow(), driver.destRow()}) {
    QCOMPARE(driver.pathLabel(row)->text(), "Not selected");
    QCOMPARE(driver.chooseButton(row)->text(), QString::fromUtf8("Choose\u2026"));
  }
  QCOMPARE(driver.sourceRow()->findChild<QLabel*>("label")->text(), "Source folder");
  QCOMPARE(driver.destRow()->findChild<QLabel*>("label")->text(), "Output folder");
  QCOMPARE(view.findChild<QLabel*>("modeTitle")->text(), "Output mode");
  QCOMPARE(driver.segment(0)->text(), "Changed files only");
  QCOMPARE(driver.segment(1)->text(), "Full folder replacement");
  QVERIFY(driver.segment(0)->isChecked());
  QVERIFY(!driver.segment(1)->isChecked());
  QCOMPARE(driver.modeDescription()->text(), changedOnlyText);
  QCOMPARE(driver.startButton()->text(), "Optimize images");
  QVERIFY(!driver.startButton()->isEnabled());
  QVERIFY(driver.startButton()->isDefault());
  QVERIFY(driver.startButton()->spinner()->isHidden());
}

void ContentViewTest::launchGeometry() {
  ViewDriver driver;
  OptimizeContentView& view = driver.view();
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));

  QCOMPARE(view.width(), 520);
  QCOMPARE(view.minimumSize(), view.maximumSize());  // sized to the content, not resizable
  const QList<QWidget*> shown = visibleChildren(&view);
  QCOMPARE(shown.first()->y(), 24);
  for (QWidget* child : shown)
    QCOMPARE(child->x(), 24);
  for (int index = 1; index < shown.size(); ++index)
    QCOMPARE(gapBetween(shown[index - 1], shown[index]), 16);
  QCOMPARE(view.height(), shown.last()->y() + shown.last()->height() + 24);

  for (FolderRow* row : {driver.sourceRow(), driver.destRow()}) {
    QCOMPARE(row->width(), 472);
    // Label, 4, then the row of path and button, centred on each other.
    QCOMPARE(gapBetween(row->findChild<QLabel*>("label"), driver.chooseButton(row)), 4);
    QVERIFY(qAbs(driver.pathLabel(row)->geometry().center().y() -
                 driver.chooseButton(row)->geometry().center().y()) <= 1);
    // The button sits at the trailing edge, the path at the leading one.
    QCOMPARE(driver.chooseButton(row)->geometry().right(), 471);
    QCOMPARE(driver.pathLabel(row)->x(), 0);
  }
  QWidget* modeSection = view.findChild<QWidget*>("modeSection");
  QCOMPARE(gapBetween(view.findChild<QLabel*>("modeTitle"), view.findChild<QWidget*>("modeControl")), 4);
  QCOMPARE(gapBetween(view.findChild<QWidget*>("modeControl"), driver.modeDescription()), 4);
  QCOMPARE(driver.modeDescription()->width(), modeSection->width());
  // Sized to its title and placed at the leading edge.
  QCOMPARE(driver.startButton()->size(), driver.startButton()->sizeHint());
  // The segments are joined: no gap between them.
  QCOMPARE(driver.segment(1)->x(), driver.segment(0)->x() + driver.segment(0)->width());
}

void ContentViewTest::logGeometryAndGrowth() {
  ViewDriver driver;
  OptimizeContentView& view = driver.view();
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  const int launchHeight = view.height();

  runIntoError(driver);
  QCOMPARE(view.statusLines().size(), 2);
  StatusLog* log = driver.statusLog();
  QVERIFY(log->isVisible());
  QCOMPARE(view.width(), 520);
  QCOMPARE(view.height(), launchHeight + 232);
  QCOMPARE(log->geometry(), QRect(24, driver.startButton()->geometry().bottom() + 1 + 16, 472, 216));
  QCOMPARE(driver.statusLogText()->geometry(), QRect(8, 8, 456, 200));
  QCOMPARE(view.height(), log->y() + 216 + 24);

  // More lines scroll inside the log; the window keeps its size.
  runIntoError(driver);
  QCOMPARE(view.height(), launchHeight + 232);
}

void ContentViewTest::textStylesFollowTheApplicationFont() {
  const QFont original = QApplication::font();
  for (const qreal size : {9.0, 16.0}) {
    QFont base = original;
    base.setPointSizeF(size);
    QApplication::setFont(base);
    ViewDriver driver;
    const auto sizeOf = [](const QWidget* widget) { return widget->font().pointSizeF(); };
    const QLabel* heading = driver.view().findChild<QLabel*>("heading");
    QCOMPARE(sizeOf(heading), size * 1.3);
    QVERIFY(heading->font().bold());
    const QLabel* rowLabel = driver.sourceRow()->findChild<QLabel*>("label");
    QCOMPARE(sizeOf(rowLabel), size * 0.85);
    QVERIFY(rowLabel->font().bold());
    QCOMPARE(sizeOf(driver.view().findChild<QLabel*>("modeTitle")), size * 0.85);
    QVERIFY(driver.view().findChild<QLabel*>("modeTitle")->font().bold());
    QCOMPARE(sizeOf(driver.pathLabel(driver.sourceRow())), size * 0.92);
    QCOMPARE(sizeOf(driver.modeDescription()), size * 0.77);
    QVERIFY(!driver.modeDescription()->font().bold());
    const QFont logFont = driver.statusLogText()->font();
    QCOMPARE(logFont.pointSizeF(), size * 0.77);
    QVERIFY(QFontInfo(logFont).fixedPitch());
    QCOMPARE(driver.view().width(), 520);
  }
  QApplication::setFont(original);
}

void ContentViewTest::coloursFollowThePalette() {
  const QPalette original = QApplication::palette();
  QPalette dark(QColor(0x2b, 0x2b, 0x2b));
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  dark.setColor(QPalette::Text, QColor(0xdd, 0xdd, 0xdd));
  dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
  dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe0));
  dark.setColor(QPalette::HighlightedText, Qt::white);

  ViewDriver driver;               // built before the theme changes: it must follow the change
  QApplication::setPalette(dark);  // delivered to the widgets through the event loop
  const QColor secondary = secondaryTextColor(QColor(0xee, 0xee, 0xee));
  QTRY_COMPARE(driver.modeDescription()->palette().color(QPalette::WindowText), secondary);
  QCOMPARE(driver.pathLabel(driver.sourceRow())->palette().color(QPalette::WindowText), secondary);
  QVERIFY(secondary.alphaF() < 1.0);
  QCOMPARE(driver.statusLog()->palette().color(QPalette::Base), QColor(0x1e, 0x1e, 0x1e));
  QCOMPARE(driver.statusLogText()->palette().color(QPalette::Text),
           secondaryTextColor(QColor(0xdd, 0xdd, 0xdd)));
  QCOMPARE(driver.startButton()->palette().color(QPalette::Active, QPalette::Button),
           QColor(0x3d, 0x8e, 0xe0));
  QCOMPARE(driver.startButton()->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::white));

  // A chosen path is primary text.
  driver.chooseSource(root_);
  QCOMPARE(driver.pathLabel(driver.sourceRow())->palette().color(QPalette::WindowText),
           QColor(0xee, 0xee, 0xee));
  QApplication::setPalette(original);
  QTRY_COMPARE(driver.modeDescription()->palette().color(QPalette::WindowText),
               secondaryTextColor(original.color(QPalette::WindowText)));
}

void ContentViewTest::startButtonNeedsBothFolders_data() {
  QTest::addColumn<bool>("sourceFirst");
  QTest::newRow("source, then output") << true;
  QTest::newRow("output, then source") << false;
}

void ContentViewTest::startButtonNeedsBothFolders() {
  QFETCH(bool, sourceFirst);
  ViewDriver driver;
  if (sourceFirst) {
    driver.chooseSource(root_ / "a");
  } else {
    driver.chooseDest(root_ / "b");
  }
  QVERIFY(!driver.startButton()->isEnabled());
  // Pressing it anyway (as a disabled button swallows the click) starts nothing.
  driver.view().run();
  QVERIFY(driver.view().statusLines().isEmpty());
  QVERIFY(!driver.view().isRunning());

  if (sourceFirst) {
    driver.chooseDest(root_ / "b");
  } else {
    driver.chooseSource(root_ / "a");
  }
  QVERIFY(driver.startButton()->isEnabled());
  QCOMPARE(driver.view().sourceFolder(), root_ / "a");
  QCOMPARE(driver.view().destFolder(), root_ / "b");
}

void ContentViewTest::modeSwitchesWithItsDescription() {
  ViewDriver driver;
  OptimizeContentView& view = driver.view();
  QTest::mouseClick(driver.segment(1), Qt::LeftButton);
  QCOMPARE(view.mode(), OutputMode::fullReplacement);
  QVERIFY(driver.segment(1)->isChecked());
  QVERIFY(!driver.segment(0)->isChecked());
  QCOMPARE(view.modeDescription(), fullReplacementText);
  QCOMPARE(driver.modeDescription()->text(), fullReplacementText);

  // Clicking the selected segment keeps it selected.
  QTest::mouseClick(driver.segment(1), Qt::LeftButton);
  QCOMPARE(view.mode(), OutputMode::fullReplacement);
  QVERIFY(driver.segment(1)->isChecked());

  // From the keyboard as well.
  driver.segment(0)->setFocus();
  QTest::keyClick(driver.segment(0), Qt::Key_Space);
  QCOMPARE(view.mode(), OutputMode::changedOnly);
  QVERIFY(driver.segment(0)->isChecked());
  QCOMPARE(driver.modeDescription()->text(), changedOnlyText);
}

void ContentViewTest::tabReachesEveryControl() {
  ViewDriver driver;
  OptimizeContentView& view = driver.view();
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  runIntoError(driver);  // the start button is enabled and the log is shown
  QApplication::setActiveWindow(&view);
  QVERIFY(QTest::qWaitForWindowActive(&view));

  // The segmented control is one stop, at its selected segment, as for any exclusive group.
  const QList<QWidget*> expected{driver.chooseButton(driver.sourceRow()),
                                 driver.chooseButton(driver.destRow()), driver.segment(0),
                                 driver.startButton(), driver.statusLogText()};
  expected.first()->setFocus(Qt::TabFocusReason);
  QTRY_COMPARE(QApplication::focusWidget(), expected.first());
  QList<QWidget*> reached{QApplication::focusWidget()};
  for (int step = 1; step < expected.size() + 1; ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    reached << QApplication::focusWidget();
  }
  QCOMPARE(reached.mid(0, expected.size()), expected);
  QCOMPARE(reached.last(), expected.first());  // and round again

  // Within the control the arrow keys move to the other segment and select it.
  driver.segment(0)->setFocus(Qt::TabFocusReason);
  QTest::keyClick(driver.segment(0), Qt::Key_Right);
  QCOMPARE(QApplication::focusWidget(), driver.segment(1));
  QCOMPARE(view.mode(), OutputMode::fullReplacement);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), driver.startButton());
}

void ContentViewTest::controlsHaveAccessibleNames() {
  ViewDriver driver;
  QCOMPARE(driver.chooseButton(driver.sourceRow())->accessibleName(), "Choose source folder");
  QCOMPARE(driver.chooseButton(driver.destRow())->accessibleName(), "Choose output folder");
  QCOMPARE(driver.pathLabel(driver.sourceRow())->accessibleName(), "Source folder: Not selected");
  QCOMPARE(driver.segment(0)->accessibleName(), "Changed files only");
  QCOMPARE(driver.segment(1)->accessibleName(), "Full folder replacement");
  QCOMPARE(driver.view().findChild<QWidget*>("modeControl")->accessibleName(), "Output mode");
  QCOMPARE(driver.startButton()->accessibleName(), "Optimize images");
  QCOMPARE(driver.statusLogText()->accessibleName(), "Status log");
  driver.chooseDest(root_);
  QCOMPARE(driver.pathLabel(driver.destRow())->accessibleName(),
           "Output folder: " + QString::fromStdString(root_.string()));
}

QTEST_MAIN(ContentViewTest)
#include "tst_content_view.moc"
