// tarvolin_engine_driver SOURCE DEST changedOnly|fullReplacement [recursive]
// Runs the engine and prints its log lines, then its totals; an error goes to stderr with exit status 1.
#include <iostream>
#include <string_view>

#include "image_optimizer.h"
#include "run_log.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5)
    return 2;
  const bool recursive = argc == 5 && std::string_view(argv[4]) == "recursive";
  const auto mode = std::string_view(argv[3]) == "fullReplacement"
                        ? ImageOptimizer::OutputMode::fullReplacement
                        : ImageOptimizer::OutputMode::changedOnly;
  try {
    const ImageOptimizer::Result result = ImageOptimizer::run(
        argv[1], argv[2], mode,
        [](const RunEvent& event) {
          for (const std::string& line : run_log::linesOf(event))
            std::cout << line << '\n';
        },
        RunSettings{.stop = {}, .jobs = 0, .skipUnchanged = false, .recursive = recursive});
    for (const std::string& line : run_log::closingLines(result))
      std::cout << line << '\n';
    return 0;
  } catch (const ImageOptimizer::RunError& error) {
    std::cout.flush();
    std::cerr << run_log::errorLine(error) << '\n';
    return 1;
  }
}
