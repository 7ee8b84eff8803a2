// tarvolin-bench [--jobs N] SOURCE DEST [changedOnly|fullReplacement]
// Runs the engine on real folders and reports what it did, how long it took and its peak memory.
// A measuring tool for bench/compare, not a user feature.
#include <malloc.h>
#include <sys/resource.h>

#include <charconv>
#include <chrono>
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
  std::cerr << "usage: tarvolin-bench [--jobs N] SOURCE DEST [changedOnly|fullReplacement]\n";
  return 2;
}

// Peak resident set size of this process in MiB; Linux reports ru_maxrss in KiB.
double peakMemoryMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  // As the programs do: one malloc arena keeps a long run's memory flat (bench/README.md).
  mallopt(M_ARENA_MAX, 1);
  std::vector<std::string_view> arguments(argv + 1, argv + argc);
  RunSettings settings;
  if (arguments.size() >= 2 && arguments[0] == "--jobs") {
    const std::string_view count = arguments[1];
    const auto [end, problem] = std::from_chars(count.data(), count.data() + count.size(), settings.jobs);
    if (problem != std::errc() || end != count.data() + count.size() || settings.jobs == 0)
      return usage();
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
