// tarvolin-bench [--jobs N] [--machine-memory MIB] SOURCE DEST [changedOnly|fullReplacement]
// Runs the engine on real folders and reports what it did, how long it took and its peak memory.
// A measuring tool for bench/compare, not a user feature.
#include <malloc.h>
#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <exception>
#include <iomanip>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "image_optimizer.h"
#include "run_log.h"

namespace {

using OutputMode = ImageOptimizer::OutputMode;

int usage() {
  std::cerr << "usage: tarvolin-bench [--jobs N] [--machine-memory MIB] SOURCE DEST "
               "[changedOnly|fullReplacement]\n";
  return 2;
}

// Peak resident set size of this process in MiB; Linux reports ru_maxrss in KiB.
double peakMemoryMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A whole number greater than 0, in full.
template <class Number>
bool parsePositive(std::string_view text, Number& number) {
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), number);
  return problem == std::errc() && end == text.data() + text.size() && number > 0;
}

}  // namespace

int main(int argc, char** argv) {
  // As the programs do: one malloc arena keeps a long run's memory flat (bench/README.md).
  mallopt(M_ARENA_MAX, 1);
  std::vector<std::string_view> arguments(argv + 1, argv + argc);
  RunSettings settings;
  // --jobs: files at a time; --machine-memory: size the run as on a machine with that much memory.
  while (arguments.size() >= 2 && arguments[0].starts_with("--")) {
    std::uint64_t mebibytes = 0;
    const bool parsed = arguments[0] == "--jobs"
                            ? parsePositive(arguments[1], settings.jobs)
                            : arguments[0] == "--machine-memory" && parsePositive(arguments[1], mebibytes);
    if (!parsed)
      return usage();
    if (mebibytes != 0)
      settings.machineMemory = mebibytes << 20;
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments.size() < 2 || arguments.size() > 3)
    return usage();
  OutputMode mode = OutputMode::changedOnly;
  if (arguments.size() == 3) {
    if (arguments[2] == "fullReplacement") {
      mode = OutputMode::fullReplacement;
    } else if (arguments[2] != "changedOnly") {
      return usage();
    }
  }

  const auto start = std::chrono::steady_clock::now();
  try {
    // Flushed line by line so that a pipe or a log file shows progress as it happens.
    const RunEventHandler print = [](const RunEvent& event) {
      for (const std::string& line : run_log::linesOf(event))
        std::cout << line << std::endl;
    };
    const ImageOptimizer::Result result =
        ImageOptimizer::run(std::string(arguments[0]), std::string(arguments[1]), mode, print, settings);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

    std::cout << "processed: " << result.processed << '\n'
              << "skippedSmall: " << result.skippedSmall << '\n'
              << "grew: " << result.grew << '\n'
              << "failed: " << result.failed << '\n'
              << "renamedFiles: " << result.renamedFiles.size() << '\n'
              << "bytesBefore: " << result.bytesBefore << '\n'
              << "bytesAfter: " << result.bytesAfter << '\n';
    std::cout << std::fixed << std::setprecision(3) << "wall time: " << wall.count() << " s\n"
              << std::setprecision(1) << "peak memory: " << peakMemoryMiB() << " MiB" << std::endl;
    return 0;
  } catch (const ImageOptimizer::RunError& error) {
    std::cout.flush();
    std::cerr << run_log::errorLine(error) << '\n';
    return 1;
  }
}
