// The window without a real run: launch state, its height through a run, the mode, enabling and the
// refusal of one folder for both, keyboard focus and its ring, accessible names, large fonts, and the
// folder dialog's settings.
#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QFocusFrame>
#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include "contrast.h"
#include "file_dialog_folder_chooser.h"
#include "scripted_engine.h"
#include "test_images.h"
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
  const QLayout* column = view->findChild<QWidget*>("heading")->parentWidget()->layout();
  QList<QWidget*> shown;
  for (int index = 0; index < column->count(); ++index) {
    QWidget* child = column->itemAt(index)->widget();
    if (child != nullptr && !child->isHidden())
      shown << child;
  }
  return shown;
}

// An application-wide setting for one test, put back however the test ends.
class ApplicationFontFor {
 public:
  explicit ApplicationFontFor(double points) : original_(QApplication::font()) {
    QFont font = original_;
    font.setPointSizeF(points);
    QApplication::setFont(font);
  }
  ~ApplicationFontFor() { QApplication::setFont(original_); }

 private:
  const QFont original_;
};

class ApplicationPaletteFor {
 public:
  explicit ApplicationPaletteFor(const QPalette& palette) : original_(QApplication::palette()) {
    QApplication::setPalette(palette);
  }
  ~ApplicationPaletteFor() { QApplication::setPalette(original_); }

 private:
  const QPalette original_;
};

QPalette theme(QColor window, QColor text, QColor button, QColor highlight, QColor highlightedText) {
  QPalette palette(window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Button, button);
  palette.setColor(QPalette::Highlight, highlight);
  palette.setColor(QPalette::HighlightedText, highlightedText);
  // De-emphasised text halfway to the window, below 4.5:1 on it, as some themes have.
  palette.setColor(QPalette::PlaceholderText,
                   QColor((window.red() + text.red()) / 2, (window.green() + text.green()) / 2,
                          (window.blue() + text.blue()) / 2));
  return palette;
}

}  // namespace

class ContentViewTest : public QObject {
  Q_OBJECT

  const ScratchFolder scratch_;

  // A run that fails at once (the output folder would be inside a plain file) brings up the log.
  void runIntoError(ViewDriver& driver) {
    test_images::writeBytes(scratch_.root / "plain-file", "not a folder");
    driver.start(scratch_.root, scratch_.root / "plain-file" / "out");
    QVERIFY(driver.waitUntilIdle());
  }

 private slots:
  void launchState() {
    ViewDriver driver;
    OptimizeContentView& view = *driver.view;
    QVERIFY(!view.sourceFolder() && !view.destFolder() && view.statusLines().isEmpty() && !view.isRunning());
    QCOMPARE(view.mode(), OutputMode::changedOnly);
    // Heading, two folder rows, the mode section and the start button's row; no log and no gap for it.
    const QList<QWidget*> shown = shownChildren(&view);
    QCOMPARE(shown, (QList<QWidget*>{driver.find("heading"), driver.row("sourceRow"), driver.row("destRow"),
                                     driver.find("modeSection"), driver.find("startRow")}));
    QVERIFY(driver.stopButton()->isHidden() && driver.progress()->isHidden());
    QCOMPARE(driver.find<QLabel>("heading")->text(), "Image Optimizer");
    QCOMPARE(driver.row("sourceRow")->findChild<QLabel*>("label")->text(), "Source folder");
    QCOMPARE(driver.row("destRow")->findChild<QLabel*>("label")->text(), "Output folder");
    for (const char* row : {"sourceRow", "destRow"}) {
      QCOMPARE(driver.pathLabel(row)->text(), "Not selected");
      QCOMPARE(driver.pathLabel(row)->foregroundRole(), QPalette::PlaceholderText);
      QCOMPARE(driver.chooseButton(row)->text(), QString::fromUtf8("Choose\u2026"));
    }
    QCOMPARE(driver.find<QLabel>("modeTitle")->text(), "Output mode");
    QCOMPARE(driver.modeButton("changedOnly")->text(), "Changed files only");
    QCOMPARE(driver.modeButton("fullReplacement")->text(), "Full folder replacement");
    QVERIFY(driver.modeButton("changedOnly")->isChecked() &&
            !driver.modeButton("fullReplacement")->isChecked());
    QCOMPARE(driver.find<QLabel>("modeDescription")->text(), changedOnlyText);
    QCOMPARE(driver.includeSubfolders()->text(), "Include subfolders");
    QVERIFY(!driver.includeSubfolders()->isChecked() && !driver.alsoAvif()->isChecked());
    QCOMPARE(driver.startButton()->text(), "Optimize images");
    QVERIFY(!driver.startButton()->isEnabled());
    QVERIFY(driver.startButton()->isDefault());
  }

  // Sized to its content and 520 wide until the first run brings in the results; from then on the run's
  // figures, problem line, links and the folder that could not be shown take their room from the
  // results, and a change of mode or folder gives it back to them: the window keeps its height.
  void heightStaysThroughARun() {
    ScriptedEngine engine({.result = ImageOptimizer::Result{39, 0, 0, {}, 1, 72900000, 4100000}});
    ViewDriver driver(engine.engine());
    OptimizeContentView& view = *driver.view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.width(), 520);
    QCOMPARE(view.minimumSize(), view.maximumSize());
    const int launchHeight = view.height();
    fs::create_directories(scratch_.root / "out");
    driver.start(scratch_.root, scratch_.root / "out");
    QCoreApplication::sendPostedEvents();
    const int runHeight = view.height();
    QVERIFY(runHeight > launchHeight);
    QVERIFY(view.minimumHeight() < runHeight && view.maximumHeight() > runHeight);
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(view.height(), runHeight);
    *driver.opensFolders = false;
    ViewDriver::activate(driver.link("showOutputFolder"));
    QVERIFY(driver.find("openFailure")->isVisible());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(view.height(), runHeight);
    QTest::mouseClick(driver.modeButton("fullReplacement"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(view.size(), QSize(520, runHeight));
  }

  // Both folders, and two different ones: picking the source folder as output too is refused at once,
  // with a line that says why, also under another spelling of the same folder.
  void startNeedsTwoDifferentFolders() {
    ViewDriver driver;
    driver.choose("destRow", scratch_.root / "out");
    QVERIFY(!driver.startButton()->isEnabled());
    driver.view->run();  // what a click would do if the button let it through
    QVERIFY(driver.view->statusLines().isEmpty() && !driver.view->isRunning());
    driver.choose("sourceRow", scratch_.root);
    QVERIFY(driver.startButton()->isEnabled());
    QVERIFY(driver.find("sameFolder")->isHidden());
    driver.choose("destRow", scratch_.root / "." / "");
    QVERIFY(!driver.startButton()->isEnabled());
    QVERIFY(!driver.find("sameFolder")->isHidden());
    QCOMPARE(driver.find<QLabel>("sameFolder")->text(),
             "The output folder must be different from the source folder.");
    driver.view->run();
    QVERIFY(driver.view->statusLines().isEmpty());
    driver.choose("sourceRow", scratch_.root / "elsewhere");
    QVERIFY(driver.startButton()->isEnabled() && driver.find("sameFolder")->isHidden());
  }

  void modeSwitchesWithItsDescription() {
    ViewDriver driver;
    QTest::mouseClick(driver.modeButton("fullReplacement"), Qt::LeftButton);
    QCOMPARE(driver.view->mode(), OutputMode::fullReplacement);
    QVERIFY(driver.modeButton("fullReplacement")->isChecked() &&
            !driver.modeButton("changedOnly")->isChecked());
    QCOMPARE(driver.view->modeDescription(), fullReplacementText);
    QCOMPARE(driver.find<QLabel>("modeDescription")->text(), fullReplacementText);
    QTest::mouseClick(driver.modeButton("changedOnly"), Qt::LeftButton);
    QCOMPARE(driver.view->mode(), OutputMode::changedOnly);
    QCOMPARE(driver.find<QLabel>("modeDescription")->text(), changedOnlyText);
  }

  void keyboardAndScreenReaderReachEveryControl() {
    ViewDriver driver;
    driver.view->show();
    runIntoError(driver);  // the start button is enabled and the log shown
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
    // The mode buttons are one stop, at the selected one, as for any exclusive group.
    const QList<QWidget*> expected{driver.chooseButton("sourceRow"),
                                   driver.chooseButton("destRow"),
                                   driver.modeButton("changedOnly"),
                                   driver.includeSubfolders(),
                                   driver.alsoAvif(),
                                   driver.startButton(),
                                   driver.find<QTabWidget>("results")->tabBar(),
                                   driver.logText(),
                                   driver.chooseButton("sourceRow")};
    expected.first()->setFocus(Qt::TabFocusReason);
    QList<QWidget*> reached{QApplication::focusWidget()};
    while (reached.size() < expected.size()) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      reached << QApplication::focusWidget();
    }
    QCOMPARE(reached, expected);
    // Within the group the arrow keys move to the other mode and select it.
    driver.modeButton("changedOnly")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.modeButton("changedOnly"), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), driver.modeButton("fullReplacement"));
    QCOMPARE(driver.view->mode(), OutputMode::fullReplacement);
    // What a screen reader announces for them.
    QCOMPARE(driver.chooseButton("destRow")->accessibleName(), "Choose output folder");
    QCOMPARE(driver.pathLabel("sourceRow")->accessibleName(),
             "Source folder: " + QString::fromStdString(scratch_.root.string()));
    QCOMPARE(driver.logText()->accessibleName(), "Status log");
    QCOMPARE(driver.table()->accessibleName(), "Files");
    QCOMPARE(QAccessible::queryAccessibleInterface(driver.view.get())->text(QAccessible::Name),
             "Image Optimizer");
    QCOMPARE(QAccessible::queryAccessibleInterface(driver.modeButton("changedOnly"))->role(),
             QAccessible::RadioButton);
    QCOMPARE(QAccessible::queryAccessibleInterface(driver.includeSubfolders())->text(QAccessible::Name),
             "Include subfolders");
    QCOMPARE(QAccessible::queryAccessibleInterface(driver.alsoAvif())->text(QAccessible::Name),
             "Also save AVIF versions (smaller, for servers set up to serve them)");
    // Enter, like Space, activates the focused button.
    driver.chooseButton("destRow")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.chooseButton("destRow"), Qt::Key_Return);
    QCOMPARE(driver.chooser->calls, 3);
  }

  // At large desktop fonts every text stays whole: a label that wraps is as tall as its lines, the
  // problem line of a run with a failed file among them. Up to 20 pt the window stays 520 wide and on
  // this test's 1366 x 768 screen, the content scrolling where the log cannot give way enough; a
  // larger font widens it.
  void textStaysWholeAtLargeFonts_data() {
    QTest::addColumn<double>("points");
    QTest::newRow("16 pt") << 16.0;
    QTest::newRow("20 pt") << 20.0;
    QTest::newRow("40 pt") << 40.0;
  }

  void textStaysWholeAtLargeFonts() {
    QFETCH(double, points);
    const ApplicationFontFor font(points);
    ScriptedEngine engine({.result = ImageOptimizer::Result{38, 0, 0, {}, 1, 72900000, 4100000}});
    ViewDriver driver(engine.engine());
    OptimizeContentView& view = *driver.view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    driver.start(scratch_.root, scratch_.root / "upload");
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(view.width() == 520, points <= 20);
    QVERIFY(view.frameGeometry().height() <= view.screen()->availableGeometry().height());
    // The table of files, at least four rows of two lines, the window scrolling where it must.
    driver.find<QTabWidget>("results")->setCurrentIndex(1);
    QCoreApplication::sendPostedEvents();
    const int row = driver.table()->verticalHeader()->defaultSectionSize();
    QVERIFY(row >= 2 * driver.table()->fontMetrics().lineSpacing());
    QVERIFY(driver.table()->viewport()->height() >= 4 * row);
    QVERIFY(driver.link("problemSummary")->isVisible());
    for (QWidget* label :
         {driver.find("modeDescription"), driver.find("runFigures"), driver.find("problemSummary"),
          driver.find("showOutputFolder"), driver.find("alsoAvif")}) {
      QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->objectName()));
      QVERIFY2(label->width() >= label->minimumSizeHint().width(), qPrintable(label->objectName()));
    }
    for (QWidget* whole :
         {driver.find("heading"), driver.find("modeTitle"), static_cast<QWidget*>(driver.startButton()),
          static_cast<QWidget*>(driver.modeButton("fullReplacement")),
          static_cast<QWidget*>(driver.includeSubfolders())}) {
      QVERIFY2(whole->width() >= whole->sizeHint().width() && whole->height() >= whole->sizeHint().height(),
               qPrintable(whole->objectName()));
    }
  }

  // The focused control carries a ring that stands out from the window by 3:1, in a light and a dark
  // theme and one whose accent is nearly the window's colour: from launch, before any key is pressed,
  // and on the start button after a keyboard user chose the folders. Secondary text reads at 4.5:1.
  void focusIsRinged_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("light") << theme(QColor(0xef, 0xef, 0xef), QColor(0x20, 0x20, 0x20),
                                    QColor(0xf6, 0xf6, 0xf6), QColor(0x30, 0x8c, 0xc6), Qt::white);
    QTest::newRow("dark") << theme(QColor(0x2b, 0x2b, 0x2b), QColor(0xee, 0xee, 0xee),
                                   QColor(0x3a, 0x3a, 0x3a), QColor(0x3d, 0x8e, 0xe0), Qt::white);
    QTest::newRow("pale accent") << theme(QColor(0xef, 0xef, 0xef), QColor(0x20, 0x20, 0x20),
                                          QColor(0xf6, 0xf6, 0xf6), QColor(0xd8, 0xe4, 0xf0),
                                          QColor(0x20, 0x20, 0x20));
  }

  void focusIsRinged() {
    QFETCH(QPalette, palette);
    const ApplicationPaletteFor theme(palette);
    ViewDriver driver;
    driver.view->show();
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
    const auto checkRing = [&](QWidget* focused) {
      QCOMPARE(QApplication::focusWidget(), focused);
      auto* frame = driver.view->findChild<QFocusFrame*>();
      QTRY_VERIFY(frame->isVisible() && frame->widget() == focused);
      const QImage window = driver.view->grab().toImage();
      // The ring lies a pixel outside the control, all the way round.
      const QRect outside =
          QRect(focused->mapTo(driver.view.get(), QPoint(0, 0)), focused->size()).adjusted(-2, -2, 2, 2);
      int ringed = 0;
      for (const QPoint corner : {outside.topLeft(), outside.bottomRight()}) {
        for (int step = 0; step < outside.width(); ++step) {
          const QPoint along(outside.left() + step, corner.y());
          ringed += contrastRatio(window.pixelColor(along), palette.color(QPalette::Window)) >= 3.0 ? 1 : 0;
        }
      }
      QVERIFY2(ringed >= 2 * outside.width() - 8, qPrintable(QString::number(ringed)));
    };
    checkRing(driver.chooseButton("sourceRow"));
    for (QLabel* secondary : {driver.find<QLabel>("modeDescription"), driver.pathLabel("destRow")}) {
      const QPalette& shown = secondary->palette();  // reads at 4.5:1 too
      QVERIFY(contrastRatio(shown.color(secondary->foregroundRole()), shown.color(QPalette::Window)) >= 4.5);
    }
    driver.choose("sourceRow", scratch_.root);
    driver.choose("destRow", scratch_.root / "out");
    driver.alsoAvif()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.alsoAvif(), Qt::Key_Tab);
    checkRing(driver.startButton());
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
