// The run's files as a table, from a real run over generated images: a row per file with what happened
// to it and its sizes as the folders hold them, sortable by size as numbers, problem rows marked as in
// the log, and a row that leads to its file's line in the log; and its columns in the window's width.
#include <QHeaderView>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>

#include "contrast.h"
#include "run_log.h"
#include "scripted_engine.h"
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
    // A row's file over what happened to it, its sizes over what changed.
    const auto line = [&](int row, int column, int index) {
      return rows->index(row, column).data().toString().split('\n').value(index);
    };
    const auto sizeOf = [](const fs::path& file) {
      return QString::fromStdString(run_log::sizeText(fs::exists(file) ? fs::file_size(file) : 0));
    };
    // Name order, as the run placed them; the output's sizes as the folder holds them.
    QCOMPARE(rows->rowCount(), 3);
    QCOMPARE((QStringList{line(0, 0, 0), line(1, 0, 0), line(2, 0, 0)}),
             (QStringList{"a.png", "b.jpg", "c.jpg"}));
    QCOMPARE((QStringList{line(0, 0, 1), line(1, 0, 1), line(2, 0, 1)}),
             (QStringList{"re-encoded as a.jpg", "left out as small",
                          "could not re-encode (kept the original): not a JPEG or PNG image"}));
    const fs::path written[] = {scratch_.root / "out" / "a.jpg", source / "b.jpg",
                                scratch_.root / "out" / "c.jpg"};
    for (int row = 0; row < 3; ++row) {
      QCOMPARE(line(row, 1, 0),
               sizeOf(source / line(row, 0, 0).toStdString()) + " \u2192 " + sizeOf(written[row]));
      QCOMPARE(rows->index(row, 0).data(Qt::ToolTipRole), rows->index(row, 0).data());
    }
    QVERIFY(line(0, 1, 1).endsWith("% smaller"));
    QCOMPARE(line(1, 1, 1), "unchanged");

    // Sorted by size as numbers, not as text ("848 bytes" is not more than "1.2 MB").
    driver.table()->sortByColumn(1, Qt::DescendingOrder);
    QCOMPARE((QStringList{line(0, 0, 0), line(1, 0, 0), line(2, 0, 0)}),
             (QStringList{"a.png", "c.jpg", "b.jpg"}));
    // The problem row in the log's warning colour, the others not.
    const QColor warning = warningTextColor(driver.table()->palette().color(QPalette::Base));
    QCOMPARE(rows->index(1, 0).data(Qt::ForegroundRole).value<QBrush>().color(), warning);
    QVERIFY(!rows->index(0, 0).data(Qt::ForegroundRole).isValid());

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

  // In the window's 520 px, whatever the names and sizes: the sizes whole, the names shortened to what
  // is left, nothing to scroll sideways to; and the same widths after another run with other files.
  void columnsFitTheWindowsWidth() {
    const std::string longName = "photos/" + std::string(150, 'n') + ".png";
    ScriptedEngine::Script first{.result = ImageOptimizer::Result{}};
    for (const auto& [before, after] : {std::pair<std::uint64_t, std::uint64_t>{1000, 999},
                                        {999, 999},
                                        {999999999999, 1},
                                        {999499, 999499}})
      first.events.push_back(ScriptedEngine::reencoded(first.events.size() + 1, 4, longName, before, after));
    ScriptedEngine longNames(first), shortNames({.events = {ScriptedEngine::reencoded(1, 1, "a.png")},
                                                 .result = ImageOptimizer::Result{}});
    bool again = false;
    ViewDriver driver(
        [&](const RunController::Job& job, const RunEventHandler& report, std::stop_token stop) {
          return (again ? shortNames : longNames).engine()(job, report, std::move(stop));
        });
    driver.view->show();
    driver.find<QTabWidget>("results")->setCurrentIndex(1);
    driver.start(scratch_.root, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    QTableView* table = driver.table();
    QCOMPARE(driver.view->width(), 520);
    QCOMPARE(table->model()->rowCount(), 4);
    QVERIFY(table->columnWidth(1) >= static_cast<QAbstractItemView*>(table)->sizeHintForColumn(1));
    QVERIFY(table->horizontalHeader()->length() <= table->viewport()->width());
    QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
    QVERIFY(table->model()
                ->index(0, 0)
                .data(Qt::ToolTipRole)
                .toString()
                .startsWith(QString::fromStdString(longName)));
    const QList<int> widths{table->columnWidth(0), table->columnWidth(1)};
    again = true;
    QTest::mouseClick(driver.startButton(), Qt::LeftButton);
    QVERIFY(driver.waitUntilIdle());
    QCOMPARE(table->model()->rowCount(), 1);
    QCOMPARE((QList<int>{table->columnWidth(0), table->columnWidth(1)}), widths);
  }
};

QTEST_MAIN(ResultsTableTest)
#include "tst_results_table.moc"
