// tarvolin-cli: the window's run from a terminal or a deploy script, on the same engine and with the
// same log lines.
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <stop_token>
#include <string_view>
#include <system_error>
#include <vector>

#include "command_line.h"
#include "image_optimizer.h"
#include "json_report.h"
#include "line_output.h"
#include "run_log.h"
#include "run_printer.h"
#include "standard_streams.h"
#include "stop_signals.h"

namespace {

// What a deploy script can tell apart; the manual page lists them. A run stopped by a signal ends
// with 128 + the signal's number, which is how a shell reports a program that the signal ended.
enum ExitStatus : int { allHandled = 0, runFailed = 1, usageError = 2, someFilesNotHandled = 3 };

int exitStatusOf(const ImageOptimizer::Result& result, int stopSignal, const LineOutput& out) {
  if (stopSignal != 0)
    return 128 + stopSignal;
  // The report was the point of the run for whoever reads it; it is lost.
  if (out.error() != 0)
    return runFailed;
  // Without the deletion list, old PNG files stay on the server: not what the run was for either.
  if (result.failed > 0 || result.deletionListFailed || !result.foldersNotRead.empty() ||
      result.removalsFailed > 0)
    return someFilesNotHandled;
  return allHandled;
}

// Where a stopped run ended, or else the summary's last line, as the printer writes it.
std::string closingLine(const ImageOptimizer::Result& result, command_line::Verbosity verbosity) {
  if (result.stopped)
    return run_log::stopLine(result);
  if (verbosity == command_line::Verbosity::everyLine)
    return run_log::bytesSavedText(result);
  return run_log::closingLines(result).back();
}

std::string describe(int error) {
  return std::generic_category().message(error);
}

int optimize(const command_line::RunRequest& request) {
  using command_line::Report;
  std::stop_source stop;
  bool runEnded = false;
  // A closed pipe (`| head`), a full disk or a vanished terminal: nobody learns what the run does, so
  // it stops as on SIGTERM, with the deletion list written and no temporary file left.
  LineOutput out(STDOUT_FILENO, [&](int error) {
    std::cerr << "tarvolin-cli: cannot write to standard output: " << describe(error)
              << (runEnded ? "" : "; stopping once the files in hand are finished") << std::endl;
    stop.request_stop();
  });
  LineOutput err(STDERR_FILENO);
  const bool json = request.report == Report::jsonLines;
  RunPrinter printer(json ? err : out, err, request.verbosity);
  JsonReport report(out, !request.also.empty());
  try {
    // Before the engine starts any thread, so that all of them leave the signals to this one.
    StopSignals signals(stop);
    const ImageOptimizer::Result result = ImageOptimizer::run(
        request.source, request.output, request.mode,
        [&](const RunEvent& event) {
          printer.print(event);
          if (json)
            report.print(event);
        },
        RunSettings{stop.get_token(), request.jobs, request.skipUnchanged, request.recursive, request.also});
    runEnded = true;
    const int stopSignal = signals.received();
    printer.printEnding(result);
    if (json)
      report.printSummary(result, stopSignal);
    // The line that says how the run ended must not be lost with standard output.
    if (out.error() != 0 && !json)
      err.writeLines({closingLine(result, request.verbosity)});
    return exitStatusOf(result, stopSignal, out);
  } catch (const ImageOptimizer::RunError& error) {
    err.writeLines({run_log::errorLine(error)});
    return runFailed;
  } catch (const std::system_error& error) {
    // Only the watch for stop signals throws this; the engine's own failures are RunErrors.
    err.writeLines({run_log::errorLine(
        ImageOptimizer::RunError("Could not watch for stop signals: " + error.code().message()))});
    return runFailed;
  }
}

// -n: the plan, from the engine, which writes nothing; no stop is needed, since nothing is encoded.
int printPlan(const command_line::RunRequest& request) {
  LineOutput out(STDOUT_FILENO, [](int error) {
    std::cerr << "tarvolin-cli: cannot write to standard output: " << describe(error) << std::endl;
  });
  LineOutput err(STDERR_FILENO);
  const bool json = request.report == command_line::Report::jsonLines;
  RunPrinter printer(json ? err : out, err, request.verbosity);
  try {
    const PlannedRun plan = ImageOptimizer::plan(request.source, request.output, request.mode,
                                                 RunSettings{.stop = {},
                                                             .jobs = 0,
                                                             .skipUnchanged = request.skipUnchanged,
                                                             .recursive = request.recursive,
                                                             .also = request.also});
    printer.printPlan(plan, request.mode);
    if (json)
      JsonReport(out, !request.also.empty()).printPlan(plan);
    if (out.error() == 0)
      return allHandled;
    // As after a run: the line that says how it ended is not lost with standard output.
    if (!json)
      err.writeLines({run_log::plannedLines(plan, request.mode).back()});
    return runFailed;
  } catch (const ImageOptimizer::RunError& error) {
    err.writeLines({run_log::errorLine(error)});
    return runFailed;
  }
}

int refuse(const command_line::UsageError& error) {
  std::cerr << "tarvolin-cli: " << error.problem << '\n'
            << command_line::usageLine() << '\n'
            << "Try 'tarvolin-cli --help' for more." << std::endl;
  return usageError;
}

// --help and --version: an answer that could not be written is a failure too.
int answer(const std::string& text) {
  LineOutput out(STDOUT_FILENO);
  out.write(text);
  if (out.error() == 0)
    return allHandled;
  std::cerr << "tarvolin-cli: cannot write to standard output: " << describe(out.error()) << std::endl;
  return runFailed;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything else is opened: a descriptor opened later must not become standard output.
  reopenClosedStandardStreams();
  // glibc gives every thread that allocates its own arena and keeps what it once held; one arena keeps
  // a long run's memory flat.
  mallopt(M_ARENA_MAX, 1);
  // A closed pipe is then a failed write, which stops the run in order, instead of a signal that
  // would end the program with no deletion list.
  signal(SIGPIPE, SIG_IGN);

  const command_line::Request request =
      command_line::parse(std::vector<std::string_view>(argv + 1, argv + argc));
  if (const auto* run = std::get_if<command_line::RunRequest>(&request))
    return run->dryRun ? printPlan(*run) : optimize(*run);
  if (const auto* error = std::get_if<command_line::UsageError>(&request))
    return refuse(*error);
  if (std::holds_alternative<command_line::HelpRequest>(request))
    return answer(command_line::helpText());
  return answer(command_line::versionText());
}
