// The window without a real run: launch state, layout lengths, text styles and colours, the mode
// control, enabling, keyboard focus, accessible names, and the folder dialog's settings.
#include <QApplication>
#include <QFileDialog>
#include <QFontInfo>
#include <QLayout>
#include <QTemporaryDir>

#include "file_dialog_folder_chooser.h"
#include "test_images.h"
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
QList<QWidget*> shownChildren(QWidget* view) {
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

  QTemporaryDir scratch_;
  const fs::path root_{scratch_.path().toStdString()};

  // A run that fails at once (the output folder would be inside a plain file) brings up the log.
  void runIntoError(ViewDriver& driver) {
    test_images::writeBytes(root_ / "plain-file", "not a folder");
    driver.start(root_, root_ / "plain-file" / "out");
    QVERIFY(driver.waitUntilIdle());
  }

 private slots:
  void launchState() {
    ViewDriver driver;
    OptimizeContentView& view = *driver.view;
    QVERIFY(!view.sourceFolder() && !view.destFolder() && view.statusLines().isEmpty() && !view.isRunning());
    QCOMPARE(view.mode(), OutputMode::changedOnly);
    // Heading, two folder rows, the mode section and the start button; no log and no gap for it.
    const QList<QWidget*> shown = shownChildren(&view);
    QCOMPARE(shown, (QList<QWidget*>{driver.find("heading"), driver.row("sourceRow"), driver.row("destRow"),
                                     driver.find("modeSection"), driver.startButton()}));
    QCOMPARE(driver.find<QLabel>("heading")->text(), "Image Optimizer");
    QCOMPARE(driver.row("sourceRow")->findChild<QLabel*>("label")->text(), "Source folder");
    QCOMPARE(driver.row("destRow")->findChild<QLabel*>("label")->text(), "Output folder");
    for (const char* row : {"sourceRow", "destRow"}) {
      QCOMPARE(driver.pathLabel(row)->displayedText(), "Not selected");
      QCOMPARE(driver.chooseButton(row)->text(), QString::fromUtf8("Choose\u2026"));
    }
    QCOMPARE(driver.find<QLabel>("modeTitle")->text(), "Output mode");
    QCOMPARE(driver.segment(0)->text(), "Changed files only");
    QCOMPARE(driver.segment(1)->text(), "Full folder replacement");
    QVERIFY(driver.segment(0)->isChecked() && !driver.segment(1)->isChecked());
    QCOMPARE(driver.find<QLabel>("modeDescription")->text(), changedOnlyText);
    QCOMPARE(driver.startButton()->text(), "Optimize images");
    QVERIFY(!driver.startButton()->isEnabled());
    QVERIFY(driver.startButton()->isDefault());
  }

  void geometry() {
    ViewDriver driver;
    OptimizeContentView& view = *driver.view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.width(), 520);
    QCOMPARE(view.minimumSize(), view.maximumSize());  // sized to the content, not resizable
    const QList<QWidget*> shown = shownChildren(&view);
    QCOMPARE(shown.first()->y(), 24);
    for (QWidget* child : shown)
      QCOMPARE(child->x(), 24);
    for (int index = 1; index < shown.size(); ++index)
      QCOMPARE(gapBetween(shown[index - 1], shown[index]), 16);
    QCOMPARE(view.height(), shown.last()->y() + shown.last()->height() + 24);
    const int launchHeight = view.height();
    // Inside a row: label, 4, then path and button centred on each other, the button at the trailing edge.
    FolderRow* row = driver.row("sourceRow");
    QCOMPARE(row->width(), 472);
    QCOMPARE(gapBetween(row->findChild<QLabel*>("label"), driver.chooseButton("sourceRow")), 4);
    QCOMPARE(driver.pathLabel("sourceRow")->geometry().center().y(),
             driver.chooseButton("sourceRow")->geometry().center().y());
    QCOMPARE(driver.chooseButton("sourceRow")->geometry().right(), 471);
    QCOMPARE(gapBetween(driver.find("modeTitle"), driver.find("modeControl")), 4);
    QCOMPARE(gapBetween(driver.find("modeControl"), driver.find("modeDescription")), 4);
    QCOMPARE(driver.segment(1)->x(), driver.segment(0)->geometry().right() + 1);  // joined segments
    QCOMPARE(driver.startButton()->size(), driver.startButton()->sizeHint());

    // The first log line brings in the 216-high log block and the 16 above it; more lines do not.
    runIntoError(driver);
    QCOMPARE(view.height(), launchHeight + 232);
    QCOMPARE(driver.find("statusLog")->geometry(),
             QRect(24, driver.startButton()->geometry().bottom() + 17, 472, 216));
    QCOMPARE(driver.logText()->geometry(), QRect(8, 8, 456, 200));
    runIntoError(driver);
    QCOMPARE(view.size(), QSize(520, launchHeight + 232));
  }

  void textStylesFollowTheApplicationFont() {
    const QFont original = QApplication::font();
    QFont larger = original;
    larger.setPointSizeF(16);
    QApplication::setFont(larger);
    ViewDriver driver;
    const auto check = [&](const char* name, double scale, bool bold) {
      const QFont font = driver.find(name)->font();
      QCOMPARE(font.pointSizeF(), 16 * scale);
      QCOMPARE(font.bold(), bold);
    };
    check("heading", 1.3, true);
    check("modeTitle", 0.85, true);
    check("modeDescription", 0.77, false);
    check("statusLogText", 0.77, false);
    QVERIFY(QFontInfo(driver.logText()->font()).fixedPitch());
    QCOMPARE(driver.row("sourceRow")->findChild<QLabel*>("label")->font().pointSizeF(), 16 * 0.85);
    QCOMPARE(driver.pathLabel("sourceRow")->font().pointSizeF(), 16 * 0.92);
    QCOMPARE(driver.view->width(), 520);
    QApplication::setFont(original);
  }

  void coloursFollowThePalette() {
    ViewDriver driver;  // built before the theme changes: it must follow the change
    const QPalette original = QApplication::palette();
    QPalette dark(QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe0));
    QApplication::setPalette(dark);  // delivered through the event loop
    const QColor secondary = secondaryTextColor(QColor(0xee, 0xee, 0xee));
    QVERIFY(secondary.alphaF() < 1.0);
    QTRY_COMPARE(driver.find("modeDescription")->palette().color(QPalette::WindowText), secondary);
    QCOMPARE(driver.pathLabel("sourceRow")->palette().color(QPalette::WindowText), secondary);
    QCOMPARE(driver.find("statusLog")->palette().color(QPalette::Base), QColor(0x1e, 0x1e, 0x1e));
    QCOMPARE(driver.startButton()->palette().color(QPalette::Active, QPalette::Button),
             QColor(0x3d, 0x8e, 0xe0));
    driver.choose("sourceRow", root_);  // a chosen path is primary text
    QCOMPARE(driver.pathLabel("sourceRow")->palette().color(QPalette::WindowText), QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(original);
  }

  void startNeedsBothFolders() {
    ViewDriver driver;
    driver.choose("destRow", root_ / "out");
    QVERIFY(!driver.startButton()->isEnabled());
    driver.view->run();  // what a click would do if the button let it through
    QVERIFY(driver.view->statusLines().isEmpty() && !driver.view->isRunning());
    driver.choose("sourceRow", root_);
    QVERIFY(driver.startButton()->isEnabled());
  }

  void modeSwitchesWithItsDescription() {
    ViewDriver driver;
    QTest::mouseClick(driver.segment(1), Qt::LeftButton);
    QCOMPARE(driver.view->mode(), OutputMode::fullReplacement);
    QVERIFY(driver.segment(1)->isChecked() && !driver.segment(0)->isChecked());
    QCOMPARE(driver.view->modeDescription(), fullReplacementText);
    QCOMPARE(driver.find<QLabel>("modeDescription")->text(), fullReplacementText);
    QTest::mouseClick(driver.segment(1), Qt::LeftButton);  // the selected segment stays selected
    QVERIFY(driver.segment(1)->isChecked());
    QTest::mouseClick(driver.segment(0), Qt::LeftButton);
    QCOMPARE(driver.view->mode(), OutputMode::changedOnly);
    QCOMPARE(driver.find<QLabel>("modeDescription")->text(), changedOnlyText);
  }

  void keyboardAndScreenReaderReachEveryControl() {
    ViewDriver driver;
    driver.view->show();
    runIntoError(driver);  // the start button is enabled and the log shown
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
    // The segmented control is one stop, at its selected segment, as for any exclusive group.
    const QList<QWidget*> expected{driver.chooseButton("sourceRow"),
                                   driver.chooseButton("destRow"),
                                   driver.segment(0),
                                   driver.startButton(),
                                   driver.logText(),
                                   driver.chooseButton("sourceRow")};
    expected.first()->setFocus(Qt::TabFocusReason);
    QList<QWidget*> reached{QApplication::focusWidget()};
    while (reached.size() < expected.size()) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      reached << QApplication::focusWidget();
    }
    QCOMPARE(reached, expected);
    // Within the control the arrow keys move to the other segment and select it.
    driver.segment(0)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.segment(0), Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), driver.segment(1));
    QCOMPARE(driver.view->mode(), OutputMode::fullReplacement);
    // What a screen reader announces for them.
    QCOMPARE(driver.chooseButton("destRow")->accessibleName(), "Choose output folder");
    QCOMPARE(driver.pathLabel("sourceRow")->accessibleName(),
             "Source folder: " + QString::fromStdString(root_.string()));
    QCOMPARE(driver.find("modeControl")->accessibleName(), "Output mode");
    QCOMPARE(driver.startButton()->accessibleName(), "Optimize images");
    QCOMPARE(driver.logText()->accessibleName(), "Status log");
  }

  // The real dialog is configured but never opened.
  void folderDialogOffersExactlyOneFolder() {
    QFileDialog dialog;
    FileDialogFolderChooser::configure(dialog);
    QCOMPARE(dialog.fileMode(), QFileDialog::Directory);
    QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
    QVERIFY(dialog.windowModality() != Qt::NonModal);
  }
};

QTEST_MAIN(ContentViewTest)
#include "tst_content_view.moc"
