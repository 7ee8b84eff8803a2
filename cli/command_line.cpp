#include "command_line.h"

#include <charconv>
#include <optional>

namespace command_line {
namespace {

using OutputMode = ImageOptimizer::OutputMode;

std::optional<OutputMode> modeNamed(std::string_view name) {
  if (name == "changed-only")
    return OutputMode::changedOnly;
  if (name == "full-replacement")
    return OutputMode::fullReplacement;
  return std::nullopt;
}

// A whole number of 1 or more: no sign, no spaces, nothing after the digits.
std::optional<unsigned> jobCount(std::string_view text) {
  unsigned count = 0;
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (problem != std::errc() || end != text.data() + text.size() || count == 0)
    return std::nullopt;
  return count;
}

std::string quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// Reads the arguments one after the other; an option that takes a value may find it in the next one.
class Parser {
 public:
  explicit Parser(const std::vector<std::string_view>& arguments) : arguments_(arguments) {}

  Request parse() {
    bool optionsEnded = false;
    while (next_ < arguments_.size()) {
      const std::string_view argument = arguments_[next_++];
      if (optionsEnded || !argument.starts_with('-') || argument == "-") {
        folders_.push_back(argument);
      } else if (argument == "--") {
        optionsEnded = true;
      } else if (argument == "--help") {
        return HelpRequest{};
      } else if (argument == "--version") {
        return VersionRequest{};
      } else if (auto error = option(argument)) {
        return *error;
      }
    }
    return folders();
  }

 private:
  // --quiet, --mode and --jobs; the value of the last two follows as the next argument or after "=".
  std::optional<UsageError> option(std::string_view argument) {
    if (argument == "--quiet") {
      request_.verbosity = Verbosity::problemsOnly;
      return std::nullopt;
    }
    const std::size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    if (name != "--mode" && name != "--jobs")
      return UsageError{"unknown option " + quoted(argument)};
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = argument.substr(equals + 1);
    } else if (next_ < arguments_.size()) {
      value = arguments_[next_++];
    } else {
      return UsageError{std::string(name) + " needs a value"};
    }
    if (name == "--mode") {
      const auto mode = modeNamed(value);
      if (!mode)
        return UsageError{"--mode takes changed-only or full-replacement, not " + quoted(value)};
      request_.mode = *mode;
    } else {
      const auto jobs = jobCount(value);
      if (!jobs)
        return UsageError{"--jobs takes a whole number of 1 or more, not " + quoted(value)};
      request_.jobs = *jobs;
    }
    return std::nullopt;
  }

  Request folders() {
    if (folders_.size() < 2)
      return UsageError{folders_.empty() ? "missing the source and output folders"
                                         : "missing the output folder"};
    if (folders_.size() > 2)
      return UsageError{"one source and one output folder, not also " + quoted(folders_[2])};
    // An unset variable in a script ("$OUT") must not become the current folder.
    if (folders_[0].empty() || folders_[1].empty())
      return UsageError{"a folder argument is empty"};
    request_.source = folders_[0];
    request_.output = folders_[1];
    return request_;
  }

  const std::vector<std::string_view>& arguments_;
  std::size_t next_ = 0;
  std::vector<std::string_view> folders_;
  RunRequest request_;
};

}  // namespace

Request parse(const std::vector<std::string_view>& arguments) {
  return Parser(arguments).parse();
}

std::string usageLine() {
  return "usage: tarvolin-cli [--mode changed-only|full-replacement] [--jobs N] [--quiet] SOURCE OUTPUT";
}

std::string helpText() {
  return usageLine() + R"(

Makes the images of the folder SOURCE smaller for a website and writes them into the folder OUTPUT:
JPEG and PNG files of 512000 bytes or more are re-encoded as JPEG files of at most 1920 pixels a
side. SOURCE is only read. Prints a line per file, the problems and a summary, as they happen.

  --mode changed-only      OUTPUT receives only what changed; the PNG files that became JPEG files
                           are listed in _DELETE_THESE_OLD_FILES_FROM_SERVER.txt (the default)
  --mode full-replacement  OUTPUT also receives the small images unchanged, so that it can
                           replace the live folder in one upload
  --jobs N                 work on N files at the same time (default: one per hardware thread)
  --quiet                  print only the problems, each with its file's name, and the summary
  --help                   print this help and exit
  --version                print the version and exit

Exit status: 0 every file was handled as intended, 1 the run failed (the error is on standard
error), 2 the arguments were wrong, 3 some files could not be handled as intended, 130 or 143
stopped by Ctrl-C or SIGTERM after finishing the files in hand.
)";
}

}  // namespace command_line
