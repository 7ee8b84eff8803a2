#pragma once

#include <QTabWidget>

#include "run_events.h"

class QStandardItemModel;
class QTableView;
class StatusLog;

// What the last run reported, in two tabs: the status log, and a table of files in the run's order until a
// column is sorted (name and what happened, sizes before and after); activating a row shows its log line.
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
