#include "run_printer.h"

#include <algorithm>

#include "run_log.h"

void RunPrinter::print(const RunEvent& event) {
  write(linesOf(event));
}

void RunPrinter::printEnding(const ImageOptimizer::Result& result) {
  std::vector<std::string> lines = run_log::closingLines(result);
  const auto nothingToDo = run_log::emptyRunLine(result);
  if (nothingToDo && &notices_ != &log_) {
    std::erase(lines, *nothingToDo);
    notices_.writeLines({*nothingToDo});
  }
  writeSummary(std::move(lines));
  if (verbosity_ == command_line::Verbosity::everyLine)
    write({run_log::bytesSavedText(result)});
}

namespace {

// What a quiet dry run still shows of a file: what a quiet run would name as a problem (a name it must
// keep, a name that cannot be written), or a file that would not be written at all.
bool needsAttention(const PlannedFile& file) {
  return file.ownName != OwnNameReason::none || file.handling == FileHandling::notWritten ||
         !file.reencodeBlocked.empty();
}

}  // namespace

void RunPrinter::printPlan(const PlannedRun& plan, ImageOptimizer::OutputMode mode) {
  ImageOptimizer::Result nothing;  // what the line about a source without images needs
  nothing.images = static_cast<std::int64_t>(plan.files.size());
  nothing.subfolders = plan.subfolders;
  nothing.recursive = plan.recursive;
  if (const auto nothingToDo = run_log::emptyRunLine(nothing))
    notices_.writeLines({*nothingToDo});
  // The formatter gives a line per file first, in the order of plan.files, then the rest.
  const std::vector<std::string> planned = run_log::plannedLines(plan, mode);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < planned.size(); ++at) {
    if (at >= plan.files.size() || verbosity_ == command_line::Verbosity::everyLine ||
        needsAttention(plan.files[at]))
      lines.push_back(planned[at]);
  }
  writeSummary(std::move(lines));
}

void RunPrinter::writeSummary(std::vector<std::string> lines) {
  // The blank line sets the summary apart from the lines above it; with none above, it would only
  // open the output with an empty line.
  if (!wroteAny_ && !lines.empty() && lines.front().empty())
    lines.erase(lines.begin());
  write(lines);
}

std::vector<std::string> RunPrinter::linesOf(const RunEvent& event) const {
  if (verbosity_ == command_line::Verbosity::everyLine)
    return run_log::linesOf(event);
  // Without the line per file, a problem line must say which file it is about.
  if (const auto* outcome = std::get_if<FileOutcome>(&event))
    return run_log::namedProblemLines(*outcome);
  return run_log::problemLinesOf(event);  // the deletion list's and a folder's name themselves
}

void RunPrinter::write(const std::vector<std::string>& lines) {
  if (lines.empty())
    return;
  log_.writeLines(lines);
  wroteAny_ = true;
}
