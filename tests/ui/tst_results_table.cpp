// The run's files as a table, from a real run over generated images: a row per file with what happened
// to it and its sizes as the folders hold them, sortable by size as numbers, problem rows marked as in
// the log, and a row that leads to its file's line in the log.
#include <QTabWidget>
#include <QTextBlock>

#include "contrast.h"
#include "run_log.h"
#include "test_images.h"
#include "view_driver.h"

namespace fs = std::filesystem;

class ResultsTableTest : public QObject {
  Q_OBJECT

  const ScratchFolder scratch_;

 private slots:
  void rowsFollowTheRunsOutcomes() {
    const fs::path source = scratch_.root / "source";
    fs::create_directories(source);
    test_images::writeLargePng(source / "a.png");
    test_images::writeSmallJpeg(source / "b.jpg");
    test_images::writeBrokenImage(source / "c.jpg", 600000);
    ViewDriver driver;
    driver.start(source, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    QAbstractItemModel* rows = driver.table()->model();
    const auto cell = [&](int row, int column) { return rows->index(row, column).data().toString(); };
    const auto sizeOf = [](const fs::path& file) {
      return QString::fromStdString(run_log::sizeText(fs::exists(file) ? fs::file_size(file) : 0));
    };
    // Name order, as the run placed them; the output's sizes as the folder holds them.
    QCOMPARE(rows->rowCount(), 3);
    QCOMPARE((QStringList{cell(0, 0), cell(1, 0), cell(2, 0)}), (QStringList{"a.png", "b.jpg", "c.jpg"}));
    QCOMPARE((QStringList{cell(0, 1), cell(1, 1), cell(2, 1)}),
             (QStringList{"re-encoded as a.jpg", "left out as small",
                          "could not re-encode (kept the original): not a JPEG or PNG image"}));
    QCOMPARE(cell(0, 3), sizeOf(scratch_.root / "out" / "a.jpg"));
    QCOMPARE(cell(1, 3), sizeOf(source / "b.jpg"));  // nothing written: what it weighed
    QCOMPARE(cell(2, 3), sizeOf(scratch_.root / "out" / "c.jpg"));
    for (int row = 0; row < 3; ++row)
      QCOMPARE(cell(row, 2), sizeOf(source / cell(row, 0).toStdString()));

    // Sorted by size as numbers, not as text ("848 bytes" is not more than "1.2 MB").
    driver.table()->sortByColumn(2, Qt::DescendingOrder);
    QCOMPARE((QStringList{cell(0, 0), cell(1, 0), cell(2, 0)}), (QStringList{"a.png", "c.jpg", "b.jpg"}));
    // The problem row in the log's warning colour, the others not.
    const QColor warning = warningTextColor(driver.table()->palette().color(QPalette::Base));
    QCOMPARE(rows->index(1, 1).data(Qt::ForegroundRole).value<QBrush>().color(), warning);
    QVERIFY(!rows->index(0, 1).data(Qt::ForegroundRole).isValid());

    // Activating its row shows the log at the file's line, above its problem.
    auto* pane = driver.find<QTabWidget>("results");
    pane->setCurrentIndex(1);
    driver.view->show();
    driver.table()->setFocus();
    driver.table()->setCurrentIndex(rows->index(1, 0));
    QTest::keyClick(driver.table(), Qt::Key_Return);
    QCOMPARE(pane->currentWidget(), driver.logText());
    QCOMPARE(driver.logText()->textCursor().selectedText(), "[3/3] c.jpg");
    QCOMPARE(driver.logText()->textCursor().block().next().text(),
             "  could not re-encode (kept the original): not a JPEG or PNG image");
  }
};

QTEST_MAIN(ResultsTableTest)
#include "tst_results_table.moc"
