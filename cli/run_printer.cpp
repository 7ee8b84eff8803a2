#include "run_printer.h"

#include <algorithm>

#include "run_log.h"

void RunPrinter::print(const RunEvent& event) {
  write(linesOf(event));
}

void RunPrinter::printEnding(const ImageOptimizer::Result& result) {
  std::vector<std::string> lines = run_log::closingLines(result);
  // The blank line sets the summary apart from the lines above it; with none above, it would only
  // open the output with an empty line.
  if (!wroteAny_ && !lines.empty() && lines.front().empty())
    lines.erase(lines.begin());
  const auto nothingToDo = run_log::emptyRunLine(result);
  if (nothingToDo && &notices_ != &log_) {
    std::erase(lines, *nothingToDo);
    notices_.writeLines({*nothingToDo});
  }
  write(lines);
  if (verbosity_ == command_line::Verbosity::everyLine)
    write({run_log::bytesSavedText(result)});
}

std::vector<std::string> RunPrinter::linesOf(const RunEvent& event) const {
  if (verbosity_ == command_line::Verbosity::everyLine)
    return run_log::linesOf(event);
  // Without the line per file, a problem line must say which file it is about.
  if (const auto* outcome = std::get_if<FileOutcome>(&event))
    return run_log::namedProblemLines(*outcome);
  if (std::holds_alternative<DeletionListFailure>(event))
    return run_log::linesOf(event);  // names the list itself
  return {};
}

void RunPrinter::write(const std::vector<std::string>& lines) {
  if (lines.empty())
    return;
  log_.writeLines(lines);
  wroteAny_ = true;
}
