#include "run_results.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>

#include "contrast.h"
#include "run_log.h"
#include "status_log.h"

namespace {

// What a cell sorts by, and in a row's first cell, the index of its file's line in the log.
constexpr int sortRole = Qt::UserRole;
constexpr int logLineRole = Qt::UserRole + 1;
// Each row is two lines: the name over what happened, the sizes over what changed.
constexpr int rowLines = 2;
constexpr int shownRows = 4;  // at least, at any font

QStandardItem* cell(const QString& text, const QVariant& sortKey) {
  auto* item = new QStandardItem(text);
  item->setData(sortKey, sortRole);
  item->setToolTip(text);
  return item;
}

// "1.2 MB → 224.3 kB" over "81 % smaller": the run's wording for its totals, split where it opens the change.
QString sizesText(std::uint64_t before, std::uint64_t after) {
  ImageOptimizer::Result sizes;
  sizes.bytesBefore = before;
  sizes.bytesAfter = after;
  QString text = QString::fromStdString(run_log::bytesSavedText(sizes));
  if (const qsizetype open = text.indexOf(QStringLiteral(" (")); open > 0) {
    text.chop(1);
    text.replace(open, 2, QLatin1Char('\n'));
  }
  return text;
}

}  // namespace

RunResults::RunResults(QWidget* parent)
    : QTabWidget(parent), log_(new StatusLog(this)), files_(new QStandardItemModel(0, 2, this)) {
  log_->setObjectName(QStringLiteral("statusLog"));
  log_->setAccessibleName(QStringLiteral("Status log"));
  files_->setHorizontalHeaderLabels({QStringLiteral("File"), QStringLiteral("Before \u2192 after")});
  // Sorted through a proxy, so that the run's own order comes back when no column is chosen.
  auto* sorted = new QSortFilterProxyModel(this);
  sorted->setSourceModel(files_);
  sorted->setSortRole(sortRole);
  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("resultsTable"));
  table_->setAccessibleName(QStringLiteral("Files"));
  table_->setModel(sorted);
  // Its few rows are a minimum; the pane's height follows the log, so that the pane shows whole lines of it.
  table_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setTabKeyNavigation(false);
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideMiddle);  // a long name keeps both ends; the tooltip has it whole
  table_->verticalHeader()->hide();
  // The name takes what the sizes leave; neither width depends on what the rows hold.
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // the run's order first
  table_->setSortingEnabled(true);
  connect(table_, &QTableView::activated, this, [this](const QModelIndex& index) {
    showLogLine(index.siblingAtColumn(0).data(logLineRole).value<qsizetype>());
  });
  addTab(log_, QStringLiteral("Log"));
  addTab(table_, QStringLiteral("Files"));
  fitTableToFont();
}

void RunResults::restart() {
  log_->clearLines();
  files_->removeRows(0, files_->rowCount());
}

void RunResults::addOutcome(const FileOutcome& outcome, qsizetype logLine) {
  const QString name = QString::fromStdString(run_log::shownName(outcome.name));
  const QList<QStandardItem*> row{
      cell(name + QLatin1Char('\n') + QString::fromStdString(run_log::outcomeText(outcome)), name),
      cell(sizesText(outcome.bytesBefore, outcome.bytesAfter), quint64{outcome.bytesBefore})};
  row[0]->setData(logLine, logLineRole);
  row[1]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  if (outcome.isProblem()) {
    const QColor warning = warningTextColor(table_->palette().color(QPalette::Base));
    for (QStandardItem* item : row)
      item->setForeground(warning);
  }
  files_->appendRow(row);
}

void RunResults::showLogLine(qsizetype index) {
  setCurrentWidget(log_);
  log_->showLine(index);
  log_->setFocus(Qt::OtherFocusReason);
}

// Rows of two lines; the sizes' column as wide as the widest sizes, whatever a run or a stop brings; room
// for a few rows, and for the start of a name beside the sizes at any font: nothing scrolls sideways.
void RunResults::fitTableToFont() {
  const QFontMetrics metrics = table_->fontMetrics();
  const int row = rowLines * metrics.lineSpacing() + metrics.height() / 2;
  table_->verticalHeader()->setDefaultSectionSize(row);
  const int sizes = 2 * metrics.averageCharWidth() +
                    std::max(metrics.horizontalAdvance(sizesText(999, 999).section(QLatin1Char('\n'), 0, 0)),
                             metrics.horizontalAdvance(sizesText(1000, 999).section(QLatin1Char('\n'), 1)));
  table_->horizontalHeader()->resizeSection(1, sizes);
  const int frames = 2 * table_->frameWidth();
  table_->setMinimumSize(
      sizes + 4 * metrics.averageCharWidth() + table_->verticalScrollBar()->sizeHint().width() + frames,
      table_->horizontalHeader()->sizeHint().height() + shownRows * row + frames);
}

// A new font sizes the rows to it; a new theme colours the problem rows again.
void RunResults::changeEvent(QEvent* event) {
  QTabWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange)
    fitTableToFont();
  if (event->type() != QEvent::PaletteChange)
    return;
  const QColor warning = warningTextColor(table_->palette().color(QPalette::Base));
  for (int row = 0; row < files_->rowCount(); ++row)
    for (int column = 0; column < files_->columnCount(); ++column)
      if (QStandardItem* item = files_->item(row, column); item->foreground() != QBrush())
        item->setForeground(warning);
}
