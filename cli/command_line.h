#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "image_optimizer.h"

// What the arguments of tarvolin-cli ask for. Parsed by hand: a handful of options need no library.
namespace command_line {

enum class Verbosity {
  everyLine,     // the window's log: a line per file, the problems, the summary, the sizes
  problemsOnly,  // only the problem lines, each naming its file, and the summary
};

enum class Report {
  lines,      // the log lines on standard output
  jsonLines,  // a JSON object per file and one for the totals on standard output; the log lines on
              // standard error
};

// A run to carry out.
struct RunRequest {
  std::filesystem::path source;
  std::filesystem::path output;
  ImageOptimizer::OutputMode mode = ImageOptimizer::OutputMode::changedOnly;
  unsigned jobs = 0;  // 0: the engine's default
  Verbosity verbosity = Verbosity::everyLine;
  Report report = Report::lines;
  // -n: print what the run would do with each file (ImageOptimizer::plan) and write nothing.
  bool dryRun = false;
  bool skipUnchanged = false;  // RunSettings::skipUnchanged
  bool recursive = false;      // RunSettings::recursive
  std::set<ExtraFormat> also;  // RunSettings::also: --also avif
};

struct HelpRequest {};
struct VersionRequest {};

// The arguments cannot be run: what is wrong, in a few words ("unknown option '--fast'").
struct UsageError {
  std::string problem;
};

using Request = std::variant<RunRequest, HelpRequest, VersionRequest, UsageError>;

Request parse(const std::vector<std::string_view>& arguments);

// The line that a usage error prints after its problem, before the pointer to --help.
std::string usageLine();
std::string helpText();
// The GNU form: name and version, copyright, licence, and the libvips that the program runs on.
std::string versionText();

}  // namespace command_line
