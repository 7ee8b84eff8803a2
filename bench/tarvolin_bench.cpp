// tarvolin-bench [--jobs N] [--machine-memory MIB] SOURCE DEST [changedOnly|fullReplacement]
// tarvolin-bench --time-each ROUNDS SCRATCH FOLDER...
// Runs the engine on real folders and reports what it did, how long it took and its peak memory; or,
// for bench/per-file, times runs over many folders in one warm process. A measuring tool for
// bench/compare and bench/per-file, not a user feature.
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "image_optimizer.h"
#include "run_log.h"

namespace {

using OutputMode = ImageOptimizer::OutputMode;

int usage() {
  std::cerr << "usage: tarvolin-bench [--jobs N] [--machine-memory MIB] SOURCE DEST "
               "[changedOnly|fullReplacement]\n"
               "       tarvolin-bench --time-each ROUNDS SCRATCH FOLDER...\n";
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

// CPU time of this process so far, every thread's, in seconds.
double processorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Times {
  double wall = 0;
  double processor = 0;
};

// One run of the engine from FOLDER into SCRATCH/out, emptied first (not timed).
Times timedRun(const std::filesystem::path& folder, const std::filesystem::path& scratch) {
  const std::filesystem::path out = scratch / "out";
  std::filesystem::remove_all(out);
  const double processorBefore = processorSeconds();
  const auto start = std::chrono::steady_clock::now();
  ImageOptimizer::run(
      folder, out, OutputMode::changedOnly, [](const RunEvent&) {}, RunSettings{});
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          processorSeconds() - processorBefore};
}

// Every folder once as a warm-up, then ROUNDS rounds over all of them in turn (a busy moment of the
// machine spreads over many folders rather than spoiling one); prints each folder's best wall time and
// best CPU time.
int timeEach(const std::vector<std::string_view>& arguments) {
  unsigned rounds = 0;
  if (arguments.size() < 3 || !parsePositive(arguments[0], rounds))
    return usage();
  const std::filesystem::path scratch(arguments[1]);
  const std::vector<std::string_view> folders(arguments.begin() + 2, arguments.end());
  std::map<std::string_view, Times> best;
  try {
    for (unsigned round = 0; round <= rounds; ++round) {
      for (const std::string_view folder : folders) {
        const Times times = timedRun(std::filesystem::path(folder), scratch);
        if (round == 0)
          continue;
        const auto [kept, first] = best.try_emplace(folder, times);
        kept->second.wall = std::min(kept->second.wall, times.wall);
        kept->second.processor = std::min(kept->second.processor, times.processor);
      }
    }
  } catch (const ImageOptimizer::RunError& error) {
    std::cerr << run_log::errorLine(error) << '\n';
    return 1;
  }
  for (const std::string_view folder : folders) {
    std::cout << std::fixed << std::setprecision(4) << best[folder].wall << '\t' << best[folder].processor
              << '\t' << folder << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // As the programs do: one malloc arena keeps a long run's memory flat (bench/README.md).
  mallopt(M_ARENA_MAX, 1);
  std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (!arguments.empty() && arguments[0] == "--time-each")
    return timeEach({arguments.begin() + 1, arguments.end()});
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
