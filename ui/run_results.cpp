#include "run_results.h"

#include <QBoxLayout>
#include <QEvent>
#include <QHeaderView>
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

QString sizeText(std::uint64_t bytes) {
  return QString::fromStdString(run_log::sizeText(bytes));
}

QStandardItem* cell(const QString& text, const QVariant& sortKey) {
  auto* item = new QStandardItem(text);
  item->setData(sortKey, sortRole);
  return item;
}

}  // namespace

RunResults::RunResults(QWidget* parent)
    : QTabWidget(parent), log_(new StatusLog(this)), files_(new QStandardItemModel(0, 5, this)) {
  log_->setObjectName(QStringLiteral("statusLog"));
  log_->setAccessibleName(QStringLiteral("Status log"));
  files_->setHorizontalHeaderLabels({QStringLiteral("File"), QStringLiteral("What happened"),
                                     QStringLiteral("Before"), QStringLiteral("After"),
                                     QStringLiteral("Saved")});
  // Sorted through a proxy, so that the run's own order comes back when no column is chosen.
  auto* sorted = new QSortFilterProxyModel(this);
  sorted->setSourceModel(files_);
  sorted->setSortRole(sortRole);
  // The table's page leaves the pane's height to the log, so that the pane shows whole lines of it.
  auto* tablePage = new QWidget(this);
  table_ = new QTableView(tablePage);
  auto* tableLayout = new QVBoxLayout(tablePage);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  tableLayout->addWidget(table_);
  table_->setObjectName(QStringLiteral("resultsTable"));
  table_->setAccessibleName(QStringLiteral("Files"));
  table_->setModel(sorted);
  table_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setTabKeyNavigation(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);  // a long reason: its tooltip
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);       // the run's order first
  table_->setSortingEnabled(true);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().lineSpacing() + 6);
  connect(table_, &QTableView::activated, this, [this](const QModelIndex& index) {
    showLogLine(index.siblingAtColumn(0).data(logLineRole).value<qsizetype>());
  });
  addTab(log_, QStringLiteral("Log"));
  addTab(tablePage, QStringLiteral("Files"));
}

void RunResults::restart() {
  log_->clearLines();
  files_->removeRows(0, files_->rowCount());
}

void RunResults::addOutcome(const FileOutcome& outcome, qsizetype logLine) {
  const QString name = QString::fromStdString(run_log::shownName(outcome.name));
  const QString what = QString::fromStdString(run_log::outcomeText(outcome));
  const auto saved = static_cast<qint64>(outcome.bytesBefore) - static_cast<qint64>(outcome.bytesAfter);
  const QList<QStandardItem*> row{
      cell(name, name), cell(what, what), cell(sizeText(outcome.bytesBefore), quint64{outcome.bytesBefore}),
      cell(sizeText(outcome.bytesAfter), quint64{outcome.bytesAfter}),
      cell(saved > 0 ? sizeText(static_cast<std::uint64_t>(saved)) : QStringLiteral("\u2014"), saved)};
  row[0]->setData(logLine, logLineRole);
  row[1]->setToolTip(what);
  for (QStandardItem* size : row.mid(2))
    size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
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

// A new font sizes the rows to it; a new theme colours the problem rows again.
void RunResults::changeEvent(QEvent* event) {
  QTabWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange)
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().lineSpacing() + 6);
  if (event->type() != QEvent::PaletteChange)
    return;
  const QColor warning = warningTextColor(table_->palette().color(QPalette::Base));
  for (int row = 0; row < files_->rowCount(); ++row) {
    for (int column = 0; column < files_->columnCount(); ++column) {
      if (QStandardItem* item = files_->item(row, column); item->foreground() != QBrush())
        item->setForeground(warning);
    }
  }
}
