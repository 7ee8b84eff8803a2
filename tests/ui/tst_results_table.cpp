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
    const auto cell = [&](int row, int column) { return rows->index(row, column).data().toString(); };
    const auto sizeOf = [](const fs::path& file) {
      return QString::fromStdString(run_log::sizeText(fs::exists(file) ? fs::file_size(file) : 0));
    };
    // Name order, as the run placed them, each over what happened; the output's sizes as the folder holds
    // them, over what changed.
    QCOMPARE(rows->rowCount(), 3);
    QCOMPARE((QStringList{cell(0, 0), cell(1, 0), cell(2, 0)}),
             (QStringList{"a.png\nre-encoded as a.jpg", "b.jpg\nleft out as small",
                          "c.jpg\ncould not re-encode (kept the original): not a JPEG or PNG image"}));
    QVERIFY(cell(0, 1).startsWith(sizeOf(source / "a.png") + " \u2192 " +
                                  sizeOf(scratch_.root / "out" / "a.jpg")));
    QCOMPARE(cell(1, 1), sizeOf(source / "b.jpg") + " \u2192 " + sizeOf(source / "b.jpg") + "\nunchanged");
    QVERIFY(cell(2, 1).startsWith(sizeOf(source / "c.jpg") + " \u2192 " +
                                  sizeOf(scratch_.root / "out" / "c.jpg")));

    // Sorted by size as numbers, not as text ("848 bytes" is not more than "1.2 MB").
    driver.table()->sortByColumn(1, Qt::DescendingOrder);
    QVERIFY(cell(0, 0).startsWith("a.png") && cell(1, 0).startsWith("c.jpg") &&
            cell(2, 0).startsWith("b.jpg"));
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

  // In the window's 520 px, whatever the names and sizes: the sizes whole, the names shortened to what
  // is left and whole in the tooltip, nothing to scroll sideways to; the same widths for the next run.
  void columnsFitTheWindowsWidth() {
    const std::string name = "photos/" + std::string(150, 'n') + ".png";
    ScriptedEngine::Script script{.result = ImageOptimizer::Result{}};
    for (const auto& [before, after] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {1000, 999}, {999, 999}, {999999999999, 1}, {999499, 999499}})
      script.events.push_back(ScriptedEngine::reencoded(script.events.size() + 1, 4, name, before, after));
    ScriptedEngine engine(script);
    ViewDriver driver(engine.engine());
    driver.view->show();
    driver.find<QTabWidget>("results")->setCurrentIndex(1);
    driver.start(scratch_.root, scratch_.root / "out");
    QVERIFY(driver.waitUntilIdle());
    QTableView* table = driver.table();
    QCOMPARE(driver.view->width(), 520);
    QVERIFY(table->columnWidth(1) >= static_cast<QAbstractItemView*>(table)->sizeHintForColumn(1));
    QVERIFY(table->horizontalHeader()->length() <= table->viewport()->width());
    QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
    QVERIFY(table->model()
                ->index(0, 0)
                .data(Qt::ToolTipRole)
                .toString()
                .startsWith(QString::fromStdString(name)));
    const int nameWidth = table->columnWidth(0);
    driver.choose("sourceRow", scratch_.root / "elsewhere");  // another run, and its sizes as they come
    QTest::mouseClick(driver.startButton(), Qt::LeftButton);
    QCOMPARE(table->columnWidth(0), nameWidth);
    QVERIFY(driver.waitUntilIdle());
  }
};

QTEST_MAIN(ResultsTableTest)
#include "tst_results_table.moc"
