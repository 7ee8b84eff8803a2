// The lines that close a run's log, for each combination of totals.
#include <QTest>
#include <filesystem>
#include <system_error>

#include "run_summary.h"

using Result = ImageOptimizer::Result;

class RunSummaryTest : public QObject {
  Q_OBJECT

 private slots:
  void summaryLines_data();
  void summaryLines();
  void errorLineCarriesTheEngineDescription();
};

void RunSummaryTest::summaryLines_data() {
  QTest::addColumn<qint64>("processed");
  QTest::addColumn<qint64>("skippedSmall");
  QTest::addColumn<qint64>("grew");
  QTest::addColumn<qint64>("failed");
  QTest::addColumn<int>("renamed");
  QTest::addColumn<QStringList>("expected");

  const QString done = "Done. %1 resized/converted, %2 already small.";
  const QString renamedLine = "%1 file(s) changed format and won't be overwritten on the server.";
  const QString see = "See _DELETE_THESE_OLD_FILES_FROM_SERVER.txt in the output folder for the list.";
  QTest::newRow("nothing") << 0LL << 0LL << 0LL << 0LL << 0 << QStringList{"", done.arg(0).arg(0)};
  QTest::newRow("worked example") << 1LL << 1LL << 0LL << 0LL << 1
                                  << QStringList{"", done.arg(1).arg(1), "", renamedLine.arg(1), see};
  QTest::newRow("one grew") << 0LL << 0LL << 1LL << 0LL << 0
                            << QStringList{
                                   "", done.arg(0).arg(0),
                                   "1 came out larger after reprocessing -- kept the original instead."};
  QTest::newRow("large numbers, no grouping")
      << 12345LL << 67890LL << 0LL << 0LL << 0 << QStringList{"", done.arg("12345").arg("67890")};
  QTest::newRow("everything") << 7LL << 3LL << 2LL << 4LL << 5
                              << QStringList{
                                     "",
                                     done.arg(7).arg(3),
                                     "2 came out larger after reprocessing -- kept the original instead.",
                                     "4 file(s) could not be optimized -- see the messages above.",
                                     "",
                                     renamedLine.arg(5),
                                     see};
  QTest::newRow("failed only") << 0LL << 0LL << 0LL << 1LL << 0
                               << QStringList{"", done.arg(0).arg(0),
                                              "1 file(s) could not be optimized -- see the messages above."};
}

void RunSummaryTest::summaryLines() {
  QFETCH(qint64, processed);
  QFETCH(qint64, skippedSmall);
  QFETCH(qint64, grew);
  QFETCH(qint64, failed);
  QFETCH(int, renamed);
  QFETCH(QStringList, expected);
  Result result;
  result.processed = processed;
  result.skippedSmall = skippedSmall;
  result.grew = grew;
  result.failed = failed;
  for (int index = 0; index < renamed; ++index)
    result.renamedFiles.push_back("logo" + std::to_string(index) + ".png");
  QCOMPARE(::summaryLines(result), expected);
}

void RunSummaryTest::errorLineCarriesTheEngineDescription() {
  const auto error = std::make_exception_ptr(std::filesystem::filesystem_error(
      "cannot create directories", "/home/ann/site/out", std::make_error_code(std::errc::permission_denied)));
  const QString line = errorLine(error);
  QCOMPARE(line, "Error: " + QString::fromStdString(ImageOptimizer::errorDescription(error)));
  QVERIFY(line.contains("/home/ann/site/out"));
  QVERIFY(!line.contains('\n'));
}

QTEST_MAIN(RunSummaryTest)
#include "tst_run_summary.moc"
