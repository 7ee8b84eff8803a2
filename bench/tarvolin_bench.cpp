// tarvolin-bench SOURCE DEST [changedOnly|fullReplacement]
// Runs the engine on real folders and reports what it did, how long it took and its peak memory.
// A measuring tool for bench/compare, not a user feature.
#include <sys/resource.h>

#include <chrono>
#include <exception>
#include <iomanip>
#include <iostream>
#include <string>
#include <string_view>

#include "image_optimizer.h"

namespace {

using OutputMode = ImageOptimizer::OutputMode;

int usage() {
  std::cerr << "usage: tarvolin-bench SOURCE DEST [changedOnly|fullReplacement]\n";
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
  if (argc < 3 || argc > 4)
    return usage();
  OutputMode mode = OutputMode::changedOnly;
  if (argc == 4) {
    const std::string_view name = argv[3];
    if (name == "fullReplacement") {
      mode = OutputMode::fullReplacement;
    } else if (name != "changedOnly") {
      return usage();
    }
  }

  const auto start = std::chrono::steady_clock::now();
  try {
    // Flushed line by line so that a pipe or a log file shows progress as it happens.
    const auto progress = [](const std::string& line) { std::cout << line << std::endl; };
    const ImageOptimizer::Result result = ImageOptimizer::run(argv[1], argv[2], mode, progress);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

    std::cout << "processed: " << result.processed << '\n'
              << "skippedSmall: " << result.skippedSmall << '\n'
              << "grew: " << result.grew << '\n'
              << "failed: " << result.failed << '\n'
              << "renamedFiles: " << result.renamedFiles.size() << '\n';
    std::cout << std::fixed << std::setprecision(3) << "wall time: " << wall.count() << " s\n"
              << std::setprecision(1) << "peak memory: " << peakMemoryMiB() << " MiB" << std::endl;
    return 0;
  } catch (...) {
    std::cout.flush();
    std::cerr << "Error: " << ImageOptimizer::errorDescription(std::current_exception()) << '\n';
    return 1;
  }
}
