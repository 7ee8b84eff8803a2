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

std::string inQuotes(std::string_view text) {
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
      } else if (auto answer = argument.starts_with("--") ? longOption(argument) : shortOptions(argument)) {
        return *answer;
      }
    }
    return folders();
  }

 private:
  // --help and --version answer at once; --quiet, --json, --dry-run, --skip-unchanged and --recursive
  // are switches;
  // the value of --mode and --jobs follows as the next argument or after "=".
  std::optional<Request> longOption(std::string_view argument) {
    if (argument == "--help")
      return HelpRequest{};
    if (argument == "--version")
      return VersionRequest{};
    if (argument == "--quiet") {
      request_.verbosity = Verbosity::problemsOnly;
      return std::nullopt;
    }
    if (argument == "--json") {
      request_.report = Report::jsonLines;
      return std::nullopt;
    }
    if (argument == "--dry-run") {
      request_.dryRun = true;
      return std::nullopt;
    }
    if (argument == "--skip-unchanged") {
      request_.skipUnchanged = true;
      return std::nullopt;
    }
    if (argument == "--recursive") {
      request_.recursive = true;
      return std::nullopt;
    }
    const std::size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    if (name != "--mode" && name != "--jobs" && name != "--also")
      return UsageError{"unknown option " + inQuotes(argument)};
    const auto value = equals != std::string_view::npos ? argument.substr(equals + 1) : nextArgument();
    if (!value)
      return UsageError{std::string(name) + " needs a value"};
    if (name == "--also")
      return also(*value);
    return name == "--mode" ? mode(*value) : jobs(*value);
  }

  // "-qj2" is "-q -j 2": letters share one argument, and the value of -j is the rest of it or the
  // next argument.
  std::optional<Request> shortOptions(std::string_view argument) {
    for (std::size_t at = 1; at < argument.size(); ++at) {
      switch (argument[at]) {
        case 'h':
          return HelpRequest{};
        case 'V':
          return VersionRequest{};
        case 'q':
          request_.verbosity = Verbosity::problemsOnly;
          break;
        case 'n':
          request_.dryRun = true;
          break;
        case 'r':
          request_.recursive = true;
          break;
        case 'j': {
          const auto value = at + 1 < argument.size() ? argument.substr(at + 1) : nextArgument();
          if (!value)
            return UsageError{"-j needs a value"};
          return jobs(*value);
        }
        default:
          return UsageError{"unknown option " + inQuotes(std::string("-") + argument[at])};
      }
    }
    return std::nullopt;
  }

  std::optional<std::string_view> nextArgument() {
    if (next_ == arguments_.size())
      return std::nullopt;
    return arguments_[next_++];
  }

  std::optional<Request> mode(std::string_view value) {
    const auto mode = modeNamed(value);
    if (!mode)
      return UsageError{"--mode takes changed-only or full-replacement, not " + inQuotes(value)};
    request_.mode = *mode;
    return std::nullopt;
  }

  std::optional<Request> jobs(std::string_view value) {
    const auto jobs = jobCount(value);
    if (!jobs)
      return UsageError{"--jobs takes a whole number of 1 or more, not " + inQuotes(value)};
    request_.jobs = *jobs;
    return std::nullopt;
  }

  // A list, so that more formats can join: "avif", or later "avif,webp".
  std::optional<Request> also(std::string_view value) {
    for (std::size_t start = 0; start <= value.size();) {
      const std::size_t comma = std::min(value.find(',', start), value.size());
      const std::string_view format = value.substr(start, comma - start);
      if (format != "avif")
        return UsageError{"--also takes avif, not " + inQuotes(format)};
      request_.also.insert(ExtraFormat::avif);
      start = comma + 1;
    }
    return std::nullopt;
  }

  Request folders() {
    if (folders_.size() < 2)
      return UsageError{folders_.empty() ? "missing the source and output folders"
                                         : "missing the output folder"};
    if (folders_.size() > 2)
      return UsageError{"one source and one output folder, not also " + inQuotes(folders_[2])};
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
  return "usage: tarvolin-cli [OPTION]... SOURCE OUTPUT";
}

// Kept within 80 columns, the width of a terminal that nobody has widened.
std::string helpText() {
  return usageLine() + R"(

Makes the images of the folder SOURCE smaller for a website and writes them
into the folder OUTPUT: JPEG and PNG files of 512000 bytes or more become JPEG
files of at most 1920 pixels a side. SOURCE is only read. Prints a line per
file, the problems and a summary, as they happen.

      --mode changed-only      OUTPUT receives only what changed; the PNG files
                               that became JPEG files are listed in
                               _DELETE_THESE_OLD_FILES_FROM_SERVER.txt
                               (the default)
      --mode full-replacement  OUTPUT also receives the small images unchanged,
                               to replace the live folder in one upload
  -j, --jobs N                 work on N files at the same time (default: one
                               per processor it may run on)
  -r, --recursive              also every folder below SOURCE, mirrored into
                               OUTPUT; not links to folders, hidden folders
                               (.name) or OUTPUT itself. Each folder's files
                               come first, then its subfolders, by name
  -q, --quiet                  print only the problems, each with its file's
                               name, and the summary
  -n, --dry-run                print what the run would do with each file and
                               write nothing, not even OUTPUT; whether a
                               re-encode would come out larger (the original
                               is then kept) cannot be known without encoding
      --skip-unchanged         leave alone each file whose output in OUTPUT
                               still carries the record of this very file
                               (name, size, time) and these settings, and
                               remove what earlier runs made that this one
                               does not
      --also avif              beside each JPEG written, NAME.jpg.avif of the
                               same picture where it is smaller, for servers
                               set up to serve it
      --json                   print a JSON object per file and a summary
                               object; the lines above go to standard error
  -h, --help                   print this help and exit
  -V, --version                print the version and exit
      --                       end the options: SOURCE and OUTPUT may then
                               start with a dash

When SOURCE holds no JPEG, PNG or GIF file directly, a line on standard error
says so; the exit status is 0.

Exit status: 0 every file was handled as intended; 1 the run failed, or its
output could not be written (standard error says why); 2 the arguments were
wrong; 3 some files could not be handled as intended; 129, 130 or 143 stopped
by SIGHUP, Ctrl-C or SIGTERM after finishing the files in hand.
)";
}

std::string versionText() {
  return "tarvolin-cli " TARVOLIN_VERSION R"(
Copyright (C) 2026 The Tarvolin developers
License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.
This is free software: you are free to change and redistribute it.
There is NO WARRANTY, to the extent permitted by law.
Running on libvips )" +
         ImageOptimizer::imageLibraryVersion() + ".\n";
}

}  // namespace command_line
