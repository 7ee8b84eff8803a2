// Choosing folders: through the chooser (a fake answers for the user) and by dropping a folder from
// the file manager onto a row.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "elided_label.h"
#include "folder_row.h"
#include "start_button.h"
#include "view_driver.h"

namespace fs = std::filesystem;

namespace {

QString pathText(const fs::path& path) {
  return QString::fromStdString(path.string());
}

std::unique_ptr<QMimeData> urlsOf(const QList<QUrl>& urls) {
  auto data = std::make_unique<QMimeData>();
  data->setUrls(urls);
  return data;
}

QUrl fileUrl(const fs::path& path) {
  return QUrl::fromLocalFile(pathText(path));
}

struct DropOutcome {
  bool enterAccepted;
  bool dropAccepted;
};

// What the file manager does: enter the row with the data, then drop it there.
DropOutcome dragAndDrop(QWidget* row, const QMimeData* data) {
  const QPoint centre = row->rect().center();
  QDragEnterEvent enter(centre, Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(row, &enter);
  QDropEvent drop(QPointF(centre), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(row, &drop);
  return {enter.isAccepted(), drop.isAccepted()};
}

}  // namespace

class FolderChoiceTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cancelLeavesAnUnchosenFolderUnchosen();
  void choosingShowsThePathInPrimaryColour();
  void cancelKeepsTheEarlierChoice();
  void choosingAgainReplacesOnlyThatRow();
  void chooserIsModalOverTheWindow();
  void longPathIsShortenedInTheMiddle();
  void droppedFolderIsChosen();
  void droppedFolderOnOutputRow();
  void refusedDrops_data();
  void refusedDrops();

 private:
  QTemporaryDir scratch_;
  fs::path root_;
};

void FolderChoiceTest::init() {
  QVERIFY(scratch_.isValid());
  root_ = scratch_.path().toStdString();
}

void FolderChoiceTest::cancelLeavesAnUnchosenFolderUnchosen() {
  ViewDriver driver;
  driver.chooser().answer(std::nullopt);
  QTest::mouseClick(driver.chooseButton(driver.sourceRow()), Qt::LeftButton);
  QCOMPARE(driver.chooser().calls(), 1);
  QCOMPARE(driver.view().sourceFolder(), std::nullopt);
  QCOMPARE(driver.pathLabel(driver.sourceRow())->text(), "Not selected");
}

void FolderChoiceTest::choosingShowsThePathInPrimaryColour() {
  ViewDriver driver;
  const QColor secondary = driver.pathLabel(driver.sourceRow())->palette().color(QPalette::WindowText);
  driver.chooseSource(root_);
  QCOMPARE(driver.view().sourceFolder(), root_);
  ElidedLabel* label = driver.pathLabel(driver.sourceRow());
  QCOMPARE(label->text(), pathText(root_));
  const QColor primary = driver.view().palette().color(QPalette::WindowText);
  QCOMPARE(label->palette().color(QPalette::WindowText), primary);
  QVERIFY(secondary != primary);
  QCOMPARE(driver.pathLabel(driver.destRow())->palette().color(QPalette::WindowText), secondary);
}

void FolderChoiceTest::cancelKeepsTheEarlierChoice() {
  ViewDriver driver;
  driver.chooseSource(root_ / "first");
  driver.chooser().answer(std::nullopt);
  QTest::mouseClick(driver.chooseButton(driver.sourceRow()), Qt::LeftButton);
  QCOMPARE(driver.chooser().calls(), 2);
  QCOMPARE(driver.view().sourceFolder(), root_ / "first");
  QCOMPARE(driver.pathLabel(driver.sourceRow())->text(), pathText(root_ / "first"));
}

void FolderChoiceTest::choosingAgainReplacesOnlyThatRow() {
  ViewDriver driver;
  driver.chooseSource(root_ / "first");
  driver.chooseDest(root_ / "out");
  driver.chooseSource(root_ / "second");
  QCOMPARE(driver.view().sourceFolder(), root_ / "second");
  QCOMPARE(driver.view().destFolder(), root_ / "out");
  QCOMPARE(driver.pathLabel(driver.sourceRow())->text(), pathText(root_ / "second"));
  QCOMPARE(driver.pathLabel(driver.destRow())->text(), pathText(root_ / "out"));
}

void FolderChoiceTest::chooserIsModalOverTheWindow() {
  ViewDriver driver;
  driver.chooseDest(root_);
  QCOMPARE(driver.chooser().lastParent(), &driver.view());
}

void FolderChoiceTest::longPathIsShortenedInTheMiddle() {
  ViewDriver driver;
  driver.view().show();
  QVERIFY(QTest::qWaitForWindowExposed(&driver.view()));
  const QSize before = driver.view().size();
  fs::path deep = root_;
  for (int level = 0; level < 12; ++level)
    deep /= "a-rather-long-folder-name-" + std::to_string(level);
  driver.chooseSource(deep);

  ElidedLabel* label = driver.pathLabel(driver.sourceRow());
  const QString shown = label->displayedText();
  QVERIFY(shown.contains(QChar(0x2026)));
  QVERIFY(shown.size() < label->text().size());
  QCOMPARE(shown.section(QChar(0x2026), 0, 0), label->text().left(shown.indexOf(QChar(0x2026))));
  QVERIFY(label->text().endsWith(shown.section(QChar(0x2026), 1)));
  QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
  // One line; the button keeps its place at the trailing edge; the window keeps its size.
  QCOMPARE(label->height(), label->fontMetrics().height());
  QCOMPARE(driver.chooseButton(driver.sourceRow())->geometry().right(), driver.sourceRow()->width() - 1);
  QCOMPARE(driver.view().size(), before);
  // A short path fits and is shown whole, once the row is laid out again.
  driver.chooseSource(root_);
  QTRY_COMPARE(label->displayedText(), pathText(root_));
}

void FolderChoiceTest::droppedFolderIsChosen() {
  ViewDriver driver;
  const auto data = urlsOf({fileUrl(root_)});
  const DropOutcome outcome = dragAndDrop(driver.sourceRow(), data.get());
  QVERIFY(outcome.enterAccepted);
  QVERIFY(outcome.dropAccepted);
  QCOMPARE(driver.view().sourceFolder(), root_);
  QCOMPARE(driver.view().destFolder(), std::nullopt);
  QCOMPARE(driver.pathLabel(driver.sourceRow())->text(), pathText(root_));
  QCOMPARE(driver.chooser().calls(), 0);
}

void FolderChoiceTest::droppedFolderOnOutputRow() {
  ViewDriver driver;
  driver.chooseSource(root_ / "source");
  fs::create_directories(root_ / "out");
  const auto data = urlsOf({fileUrl(root_ / "out")});
  QVERIFY(dragAndDrop(driver.destRow(), data.get()).dropAccepted);
  QCOMPARE(driver.view().destFolder(), root_ / "out");
  QCOMPARE(driver.view().sourceFolder(), root_ / "source");
  QVERIFY(driver.startButton()->isEnabled());
}

void FolderChoiceTest::refusedDrops_data() {
  QTest::addColumn<QString>("what");
  QTest::newRow("a file") << "file";
  QTest::newRow("two folders") << "two folders";
  QTest::newRow("a folder and a file") << "folder and file";
  QTest::newRow("a web address") << "web";
  QTest::newRow("a folder that does not exist") << "missing";
  QTest::newRow("plain text naming a folder") << "text";
}

void FolderChoiceTest::refusedDrops() {
  QFETCH(QString, what);
  fs::create_directories(root_ / "one");
  fs::create_directories(root_ / "two");
  std::ofstream(root_ / "photo.jpg") << "jpeg";
  std::unique_ptr<QMimeData> data;
  if (what == "file")
    data = urlsOf({fileUrl(root_ / "photo.jpg")});
  if (what == "two folders")
    data = urlsOf({fileUrl(root_ / "one"), fileUrl(root_ / "two")});
  if (what == "folder and file")
    data = urlsOf({fileUrl(root_ / "one"), fileUrl(root_ / "photo.jpg")});
  if (what == "web")
    data = urlsOf({QUrl("https://example.org/images/")});
  if (what == "missing")
    data = urlsOf({fileUrl(root_ / "gone")});
  if (what == "text") {
    data = std::make_unique<QMimeData>();
    data->setText(pathText(root_ / "one"));
  }
  QVERIFY(data);

  ViewDriver driver;
  driver.chooseSource(root_ / "earlier");
  const DropOutcome outcome = dragAndDrop(driver.sourceRow(), data.get());
  QVERIFY(!outcome.enterAccepted);
  QVERIFY(!outcome.dropAccepted);
  QCOMPARE(driver.view().sourceFolder(), root_ / "earlier");
  QCOMPARE(driver.pathLabel(driver.sourceRow())->text(), pathText(root_ / "earlier"));
}

QTEST_MAIN(FolderChoiceTest)
#include "tst_folder_choice.moc"
