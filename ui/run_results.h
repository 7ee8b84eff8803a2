#pragma once

#include <QTabWidget>

#include "run_events.h"

class QStandardItemModel;
class QTableView;
class StatusLog;

// What the last run reported, in two tabs: the status log as the run writes it, and the same run as a
// table of files, a row each (the file, what happened to it, its size before and after, the bytes
// saved), sortable by any column, sizes as numbers, and otherwise in the order the run placed them.
// Problem rows are drawn in the warning colour, as their lines in the log are; activating a row shows
// its file's line in the log.
class RunResults : public QTabWidget {
  Q_OBJECT

 public:
  explicit RunResults(QWidget* parent = nullptr);

  StatusLog* log() const { return log_; }
  // Empties the log and the table for a new run.
  void restart();
  // `logLine`: the index of the line that reports the file in the log.
  void addOutcome(const FileOutcome& outcome, qsizetype logLine);
  // At the user's request: the log, at the line at `index`, with the keyboard focus.
  void showLogLine(qsizetype index);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  StatusLog* log_;
  QStandardItemModel* files_;
  QTableView* table_;
};
