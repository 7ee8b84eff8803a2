#pragma once

#include <QTabWidget>

#include "run_events.h"

class QStandardItemModel;
class QTableView;
class StatusLog;

// What the last run reported, in two tabs: the status log, and a table with a row per file in the
// order the run placed them, until a column is sorted: its name and what happened to it, its sizes
// before and after. Activating a row shows its file's line in the log.
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
  void fitTableToFont();

  StatusLog* log_;
  QStandardItemModel* files_;
  QTableView* table_;
};
