#pragma once

#include <string>
#include <vector>

#include "command_line.h"
#include "image_optimizer.h"
#include "line_output.h"
#include "planned_run.h"
#include "run_events.h"

// Prints a run as the window's log shows it after "Starting…", through the engine's formatter. Each
// line is written out as soon as it is known, so that a CI log shows the run while it goes on.
class RunPrinter {
 public:
  // `log` receives the log; `notices` the line that says a run had nothing to do, which must reach the
  // person at the terminal when the log goes to a file. The two may be the same.
  RunPrinter(LineOutput& log, LineOutput& notices, command_line::Verbosity verbosity)
      : log_(log), notices_(notices), verbosity_(verbosity) {}

  void print(const RunEvent& event);
  // The summary of a run that returned its totals, stopped or not.
  void printEnding(const ImageOptimizer::Result& result);
  // A dry run's plan, and on `notices` that the source holds no image. Quiet, only the files that
  // would keep their own name or not be written are shown, then the deletion list and the closing line.
  void printPlan(const PlannedRun& plan, ImageOptimizer::OutputMode mode);

 private:
  std::vector<std::string> linesOf(const RunEvent& event) const;
  // Lines that close the output: the blank line that sets them apart, unless nothing came before.
  void writeSummary(std::vector<std::string> lines);
  void write(const std::vector<std::string>& lines);

  LineOutput& log_;
  LineOutput& notices_;
  command_line::Verbosity verbosity_;
  bool wroteAny_ = false;
};
