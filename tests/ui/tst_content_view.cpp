// The window without a real run: launch state, layout lengths, text styles and colours, the mode
// control, enabling, keyboard focus, accessible names, and the folder dialog's settings.
#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QFontInfo>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>

#include "file_dialog_folder_chooser.h"
#include "focus_mark.h"
#include "scripted_engine.h"
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
  const QLayout* column = view->findChild<QWidget*>("content")->layout();
  QList<QWidget*> shown;
  for (int index = 0; index < column->count(); ++index) {
    QWidget* child = column->itemAt(index)->widget();
    if (child != nullptr && !child->isHidden())
      shown << child;
  }
  return shown;
}

int gapBetween(const QWidget* above, const QWidget* below) {
  return below->y() - (above->y() + above->height());
}

QRect inContent(const QWidget* widget, const QWidget* content) {
  return {widget->mapTo(content, QPoint(0, 0)), widget->size()};
}

// Where a push button draws its label: inside its border and padding.
QRect labelArea(const QPushButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
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
    // Nothing beside the button before a run.
    QVERIFY(driver.runFigures()->isHidden() && driver.showOutputFolder()->isHidden());
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
    QCOMPARE(driver.segment(1)->x(), driver.segment(0)->geometry().right());  // joined: one border between
    QCOMPARE(driver.startButton()->pos(), QPoint(0, 0));
    QCOMPARE(driver.startButton()->size(), driver.startButton()->sizeHint());

    // The first log line brings in the log block, as tall as its lines ask, and the 16 above it; more
    // lines do not. From then on the window can be made taller or shorter, not wider.
    runIntoError(driver);
    const int logHeight = driver.find("statusLog")->sizeHint().height();
    QCOMPARE(view.height(), launchHeight + 16 + logHeight);
    QCOMPARE(driver.find("statusLog")->geometry(),
             QRect(24, driver.find("startRow")->geometry().bottom() + 17, 472, logHeight));
    QCOMPARE(driver.logText()->geometry(), QRect(8, 8, 456, logHeight - 16));
    QVERIFY(view.minimumHeight() < view.height() && view.maximumHeight() > view.height());
    QCOMPARE(view.minimumWidth(), view.maximumWidth());
    runIntoError(driver);
    QCOMPARE(view.size(), QSize(520, launchHeight + 16 + logHeight));
    // The log alone takes the difference when the user resizes the window.
    view.resize(520, view.height() + 40);
    QTRY_COMPARE(driver.find("statusLog")->height(), logHeight + 40);
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
    // A warning reads on the dark background too, and stays a warm red.
    const QColor warning = driver.find("problemSummary")->palette().color(QPalette::Link);
    QVERIFY(contrastRatio(warning, QColor(0x2b, 0x2b, 0x2b)) >= 4.5);
    QVERIFY(warning.red() > 2 * warning.blue() && warning.red() > warning.green());
    driver.choose("sourceRow", scratch_.root);  // a chosen path is primary text
    QCOMPARE(driver.pathLabel("sourceRow")->palette().color(QPalette::WindowText), QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(original);
  }

  void startNeedsBothFolders() {
    ViewDriver driver;
    driver.choose("destRow", scratch_.root / "out");
    QVERIFY(!driver.startButton()->isEnabled());
    driver.view->run();  // what a click would do if the button let it through
    QVERIFY(driver.view->statusLines().isEmpty() && !driver.view->isRunning());
    driver.choose("sourceRow", scratch_.root);
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
             "Source folder: " + QString::fromStdString(scratch_.root.string()));
    QCOMPARE(driver.find("modeControl")->accessibleName(), "Output mode");
    QCOMPARE(driver.startButton()->accessibleName(), "Optimize images");
    QCOMPARE(driver.logText()->accessibleName(), "Status log");
    QCOMPARE(QAccessible::queryAccessibleInterface(driver.view.get())->text(QAccessible::Name),
             "Image Optimizer");
    for (const int index : {0, 1})
      QCOMPARE(QAccessible::queryAccessibleInterface(driver.segment(index))->role(),
               QAccessible::RadioButton);
    // Enter, like Space, activates the focused button.
    driver.chooseButton("destRow")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.chooseButton("destRow"), Qt::Key_Return);
    QCOMPARE(driver.chooser->calls, 3);
    driver.segment(0)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.segment(0), Qt::Key_Enter);
    QCOMPARE(driver.view->mode(), OutputMode::changedOnly);
  }

  // At large desktop fonts every part keeps its whole text and nothing overlaps: the mode segments stack
  // where they do not fit side by side, and the figures, the problem line and the link move below the
  // start button. Up to 20 pt that fits in 520; a larger font widens the window.
  void layoutHoldsAtLargeFonts_data() {
    QTest::addColumn<double>("points");
    QTest::newRow("16 pt") << 16.0;
    QTest::newRow("20 pt") << 20.0;
    QTest::newRow("40 pt") << 40.0;
  }

  void layoutHoldsAtLargeFonts() {
    QFETCH(double, points);
    const ApplicationFontFor font(points);
    ScriptedEngine engine({.result = ImageOptimizer::Result{39, 0, 0, {}, 1, 72900000, 4100000}});
    ViewDriver driver(engine.engine());
    OptimizeContentView& view = *driver.view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    fs::path deep = scratch_.root;
    for (int level = 0; level < 6; ++level)
      deep /= "a-long-folder-name-" + std::to_string(level);
    driver.start(deep, deep / "upload");
    QVERIFY(driver.waitUntilIdle());  // everything is shown: paths, figures, link and log

    if (points <= 20) {
      QCOMPARE(view.width(), 520);
    } else {
      QVERIFY(view.width() > 520);
    }
    // The window stays on this test's 1366 x 768 screen: the log gives way, down to a few lines, and
    // where that is not enough, the content scrolls.
    auto* log = driver.find<StatusLog>("statusLog");
    QVERIFY(view.frameGeometry().height() <= view.screen()->availableGeometry().height());
    QVERIFY(log->height() < log->sizeHint().height() && log->height() >= log->minimumSizeHint().height());
    QCOMPARE(driver.find<QScrollArea>("scrollArea")->verticalScrollBar()->isVisible(), points >= 20);
    for (const int index : {0, 1}) {
      QPushButton* segment = driver.segment(index);
      QVERIFY2(segment->fontMetrics().horizontalAdvance(segment->text()) <= labelArea(segment).width(),
               qPrintable(segment->text()));
      QVERIFY(segment->fontMetrics().height() <= labelArea(segment).height());
      QVERIFY(driver.find("modeControl")->rect().contains(segment->geometry()));
    }
    auto* description = driver.find<QLabel>("modeDescription");
    QVERIFY(description->height() >= description->heightForWidth(description->width()));
    for (QWidget* whole :
         {driver.find("heading"), driver.find("modeTitle"), driver.find("startButton"),
          static_cast<QWidget*>(driver.runFigures()), static_cast<QWidget*>(driver.showOutputFolder()),
          static_cast<QWidget*>(driver.chooseButton("sourceRow"))}) {
      QVERIFY2(whole->width() >= whole->sizeHint().width() && whole->height() >= whole->sizeHint().height(),
               qPrintable(whole->objectName()));
    }
    // No two shown widgets overlap, unless one holds the other or they are joined segments sharing their
    // border line, and all lie within the content, which scrolls where the screen is too small for it.
    QWidget* content = driver.find("content");
    QList<QWidget*> shown;
    for (QWidget* widget : content->findChildren<QWidget*>()) {
      if (widget->isVisible())
        shown << widget;
    }
    for (QWidget* widget : shown) {
      QVERIFY2(content->rect().contains(inContent(widget, content)), qPrintable(widget->objectName()));
      for (QWidget* other : shown) {
        if (widget == other || widget->isAncestorOf(other) || other->isAncestorOf(widget))
          continue;
        const QRect common = inContent(widget, content).intersected(inContent(other, content));
        const bool joined = widget->parentWidget() == driver.find("modeControl") &&
                            other->parentWidget() == widget->parentWidget();
        QVERIFY2(common.isEmpty() || (joined && (common.width() == 1 || common.height() == 1)),
                 qPrintable(widget->objectName() + " and " + other->objectName()));
      }
    }
  }

  // A focused control carries a mark that differs from its unfocused look by at least 3:1 along a whole
  // ring, in a light and a dark theme, and in one whose accent is nearly the colour of the buttons:
  // each mode segment, selected or not, a "Choose…" button, the start button, the link, the path of a
  // folder that could not be shown, and the log. The start button's label, too, must read on its face.
  void focusIsMarked_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<QByteArray>("control");
    const QPalette light = theme(QColor(0xef, 0xef, 0xef), QColor(0x20, 0x20, 0x20), QColor(0xf6, 0xf6, 0xf6),
                                 QColor(0x30, 0x8c, 0xc6), Qt::white);
    const QPalette dark = theme(QColor(0x2b, 0x2b, 0x2b), QColor(0xee, 0xee, 0xee), QColor(0x3a, 0x3a, 0x3a),
                                QColor(0x3d, 0x8e, 0xe0), Qt::white);
    const QPalette paleAccent =
        theme(QColor(0xef, 0xef, 0xef), QColor(0x20, 0x20, 0x20), QColor(0xf6, 0xf6, 0xf6),
              QColor(0xd8, 0xe4, 0xf0), QColor(0x20, 0x20, 0x20));
    for (const auto& [name, palette] :
         {std::pair{"light", light}, {"dark", dark}, {"pale accent", paleAccent}}) {
      for (const char* control : {"segmentFirst", "segmentLast", "chooseButton", "startButton",
                                  "showOutputFolder", "unopenedFolder", "statusLogText"})
        QTest::addRow("%s, %s", name, control) << palette << QByteArray(control);
    }
  }

  void focusIsMarked() {
    QFETCH(QPalette, palette);
    QFETCH(QByteArray, control);
    const ApplicationPaletteFor theme(palette);
    ViewDriver driver;
    driver.view->show();
    // A run over an empty folder, whose output folder nothing can show: every control is there.
    fs::create_directories(scratch_.root / "empty");
    driver.start(scratch_.root / "empty", scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    *driver.opensFolders = false;
    QTest::mouseClick(driver.showOutputFolder(), Qt::LeftButton);
    QApplication::setActiveWindow(driver.view.get());
    QVERIFY(QTest::qWaitForWindowActive(driver.view.get()));
    // Focus arrives from the keyboard, as for the user.
    driver.chooseButton("destRow")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(driver.chooseButton("destRow"), Qt::Key_Tab);
    QWidget* target = driver.find(control.constData());
    target->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), target);
    QWidget* ringed = control == "statusLogText" ? target->parentWidget() : target;  // the log's block
    const QImage focused = ringed->grab().toImage();
    QWidget* elsewhere =
        control == "statusLogText" ? static_cast<QWidget*>(driver.startButton()) : driver.logText();
    elsewhere->setFocus(Qt::TabFocusReason);
    const QImage unfocused = ringed->grab().toImage();
    QCOMPARE(focused.size(), unfocused.size());
    if (control == "startButton") {  // its label reads at 4.5:1 on the face the style paints, beside it
      const QColor label = target->palette().color(QPalette::ButtonText);
      for (int y = unfocused.height() / 3; y <= unfocused.height() * 2 / 3; ++y)
        QVERIFY2(contrastRatio(label, unfocused.pixelColor(4, y)) >= 4.5, qPrintable(label.name()));
    }
    int marked = 0;
    for (int y = 0; y < focused.height(); ++y) {
      for (int x = 0; x < focused.width(); ++x)
        marked += contrastRatio(focused.pixelColor(x, y), unfocused.pixelColor(x, y)) >= 3.0 ? 1 : 0;
    }
    QVERIFY2(marked >= 2 * (ringed->width() + ringed->height()), qPrintable(QString::number(marked)));
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
