// tarvolin-cli: the window's run from a terminal or a deploy script, on the same engine and with the
// same log lines.
#include <malloc.h>

#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "image_optimizer.h"
#include "run_log.h"
#include "run_printer.h"
#include "stop_signals.h"

namespace {

// What a deploy script can tell apart; the manual page lists them. A run stopped by a signal ends
// with 128 + the signal's number, which is how a shell reports a program that the signal ended.
enum ExitStatus : int { allHandled = 0, runFailed = 1, usageError = 2, someFilesNotHandled = 3 };

int exitStatusOf(const ImageOptimizer::Result& result, int stopSignal) {
  if (stopSignal != 0)
    return 128 + stopSignal;
  // Without the deletion list, old PNG files stay on the server: not what the run was for either.
  if (result.failed > 0 || result.deletionListFailed)
    return someFilesNotHandled;
  return allHandled;
}

int optimize(const command_line::RunRequest& request) {
  RunPrinter printer(std::cout, request.verbosity);
  try {
    // Before the engine starts any thread, so that all of them leave the signals to this one.
    StopSignals signals;
    const ImageOptimizer::Result result = ImageOptimizer::run(
        request.source, request.output, request.mode,
        [&printer](const RunEvent& event) { printer.print(event); },
        RunSettings{signals.stopToken(), request.jobs});
    const int stopSignal = signals.received();
    printer.printEnding(result);
    return exitStatusOf(result, stopSignal);
  } catch (...) {
    std::cout.flush();
    std::cerr << run_log::errorLine(std::current_exception()) << std::endl;
    return runFailed;
  }
}

int refuse(const command_line::UsageError& error) {
  std::cerr << "tarvolin-cli: " << error.problem << '\n'
            << command_line::usageLine() << '\n'
            << "Try 'tarvolin-cli --help' for more." << std::endl;
  return usageError;
}

}  // namespace

int main(int argc, char** argv) {
  // glibc gives every thread that allocates its own arena and keeps what it once held; one arena keeps
  // a long run's memory flat.
  mallopt(M_ARENA_MAX, 1);

  const command_line::Request request =
      command_line::parse(std::vector<std::string_view>(argv + 1, argv + argc));
  if (const auto* run = std::get_if<command_line::RunRequest>(&request))
    return optimize(*run);
  if (const auto* error = std::get_if<command_line::UsageError>(&request))
    return refuse(*error);
  if (std::holds_alternative<command_line::HelpRequest>(request)) {
    std::cout << command_line::helpText();
  } else {
    std::cout << command_line::versionText();
  }
  return allHandled;
}
