#pragma once

#include <string>
#include <vector>

#include "command_line.h"
#include "image_optimizer.h"
#include "line_output.h"
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

 private:
  std::vector<std::string> linesOf(const RunEvent& event) const;
  void write(const std::vector<std::string>& lines);

  LineOutput& log_;
  LineOutput& notices_;
  command_line::Verbosity verbosity_;
  bool wroteAny_ = false;
};
