// Choosing folders: through the chooser (a fake answers for the user) and by dropping a folder from the
// file manager onto a row, and what a refused drop says.
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "test_images.h"
#include "view_driver.h"

namespace fs = std::filesystem;

namespace {

QString text(const fs::path& path) {
  return QString::fromStdString(path.string());
}
QUrl url(const fs::path& path) {
  return QUrl::fromLocalFile(text(path));
}

// What the file manager does: enter the row with the data, then drop it there. Whether the drop was taken.
bool dragAndDrop(QWidget* row, const QMimeData& data) {
  QDragEnterEvent enter(row->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(row, &enter);
  QDropEvent drop(row->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(row, &drop);
  return drop.isAccepted();
}

}  // namespace

class FolderChoiceTest : public QObject {
  Q_OBJECT

  const ScratchFolder scratch_;

 private slots:
  void chooserCancelAndReplace() {
    ViewDriver driver;
    const QPalette::ColorRole unset = driver.pathLabel("sourceRow")->foregroundRole();
    driver.chooser->answer(std::nullopt);
    QTest::mouseClick(driver.chooseButton("sourceRow"), Qt::LeftButton);
    QCOMPARE(driver.view->sourceFolder(), std::nullopt);  // cancelled: still unchosen
    QCOMPARE(driver.pathLabel("sourceRow")->accessibleName(), "Source folder: Not selected");

    driver.choose("sourceRow", scratch_.root / "first");
    driver.choose("destRow", scratch_.root / "out");
    QCOMPARE(driver.pathLabel("sourceRow")->accessibleName(),
             "Source folder: " + text(scratch_.root / "first"));
    QVERIFY(driver.pathLabel("sourceRow")->foregroundRole() != unset);
    driver.chooser->answer(std::nullopt);
    QTest::mouseClick(driver.chooseButton("sourceRow"), Qt::LeftButton);
    QCOMPARE(driver.view->sourceFolder(), scratch_.root / "first");  // cancelled: the earlier choice stays
    driver.choose("sourceRow", scratch_.root / "second");
    QCOMPARE(driver.view->sourceFolder(), scratch_.root / "second");  // replaced, and only in its own row
    QCOMPARE(driver.view->destFolder(), scratch_.root / "out");
    QCOMPARE(driver.pathLabel("sourceRow")->accessibleName(),
             "Source folder: " + text(scratch_.root / "second"));
    QCOMPARE(driver.chooser->calls, 5);
    QCOMPARE(driver.chooser->lastParent, driver.view.get());  // modal over the window
  }

  void longPathIsShortenedInTheMiddle() {
    ViewDriver driver;
    driver.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(driver.view.get()));
    const QSize windowSize = driver.view->size();
    fs::path deep = scratch_.root;
    for (int level = 0; level < 12; ++level)
      deep /= "a-rather-long-folder-name-" + std::to_string(level);
    driver.choose("sourceRow", deep);
    // Once laid out, the path takes all the room up to the button, at the style's spacing from it.
    QLabel* label = driver.pathLabel("sourceRow");
    QTRY_VERIFY(label->text().contains(QChar(0x2026)));
    const QStringList ends = label->text().split(QChar(0x2026));
    QCOMPARE(ends.size(), 2);
    QVERIFY(text(deep).startsWith(ends[0]) && text(deep).endsWith(ends[1]));
    QVERIFY(ends[0].size() > 10 && ends[1].size() > 10);  // much of both ends stays visible
    // The whole path can still be read: as the tooltip, and by a screen reader.
    QCOMPARE(label->toolTip(), text(deep));
    QCOMPARE(label->accessibleDescription(), text(deep));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
    QCOMPARE(driver.view->size(), windowSize);
    driver.choose("sourceRow", scratch_.root);
    QTRY_COMPARE(label->text(), text(scratch_.root));  // a short path is whole once laid out again
    QCOMPARE(label->toolTip(), QString());             // and needs no tooltip
    QCOMPARE(label->accessibleDescription(), QString());
  }

  void droppedFolderIsChosen() {
    ViewDriver driver;
    fs::create_directories(scratch_.root / "out");
    QMimeData source, output;
    source.setUrls({url(scratch_.root)});
    output.setUrls({url(scratch_.root / "out")});
    QVERIFY(dragAndDrop(driver.row("sourceRow"), source));
    QCOMPARE(driver.view->sourceFolder(), scratch_.root);
    QCOMPARE(driver.view->destFolder(), std::nullopt);
    QCOMPARE(driver.pathLabel("sourceRow")->accessibleName(), "Source folder: " + text(scratch_.root));
    QVERIFY(dragAndDrop(driver.row("destRow"), output));
    QCOMPARE(driver.view->destFolder(), scratch_.root / "out");
    QVERIFY(driver.startButton()->isEnabled());
    QCOMPARE(driver.chooser->calls, 0);
  }

  void refusedDrops_data() {
    QTest::addColumn<QList<QUrl>>("urls");
    fs::create_directories(scratch_.root / "one");
    test_images::writeBytes(scratch_.root / "photo.jpg", "jpeg");
    QTest::newRow("a file") << QList<QUrl>{url(scratch_.root / "photo.jpg")};
    QTest::newRow("two folders") << QList<QUrl>{url(scratch_.root / "one"), url(scratch_.root)};
    QTest::newRow("a web address") << QList<QUrl>{QUrl("https://example.org/images/")};
    QTest::newRow("a missing folder") << QList<QUrl>{url(scratch_.root / "gone")};
    QTest::newRow("no address, only text") << QList<QUrl>{};
  }

  void refusedDrops() {
    QFETCH(QList<QUrl>, urls);
    QMimeData data;
    data.setUrls(urls);
    if (urls.isEmpty())
      data.setText(text(scratch_.root / "one"));
    ViewDriver driver;
    driver.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(driver.view.get()));
    driver.choose("sourceRow", scratch_.root / "earlier");
    QVERIFY(!dragAndDrop(driver.row("sourceRow"), data));
    QCOMPARE(driver.view->sourceFolder(), scratch_.root / "earlier");
    // One line says why, until the next click or key.
    auto* why = driver.find<QLabel>("dropRefused");
    QVERIFY(why->isVisible() && !why->text().isEmpty());
    QVERIFY(why->heightForWidth(why->width()) < 2 * why->fontMetrics().lineSpacing());
    QTest::keyClick(driver.chooseButton("destRow"), Qt::Key_Tab);
    QVERIFY(why->isHidden());
  }
};

QTEST_MAIN(FolderChoiceTest)
#include "tst_folder_choice.moc"
