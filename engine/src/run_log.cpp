#include "run_log.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace run_log {
namespace {

// Spelled out rather than built from a constant: the user reads this name, and a rename of the file
// must not change the sentences silently.
constexpr const char* deletionListName = "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt";

std::string escaped(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string progressLine(const FileStarted& started) {
  return "[" + std::to_string(started.number) + "/" + std::to_string(started.total) + "] " +
         shownName(started.name);
}

std::vector<std::string> problemLines(const FileOutcome& outcome) {
  std::vector<std::string> lines;
  switch (outcome.ownName) {
    case OwnNameReason::none:
      break;
    case OwnNameReason::nameTaken:
      lines.push_back("  kept its own name: " + shownName(outcome.convertedName) + " is taken by " +
                      shownName(outcome.nameTakenBy));
      break;
    case OwnNameReason::cannotBeListed:
      lines.push_back("  kept its own name: the name cannot be written to " + std::string(deletionListName));
      break;
  }
  if (outcome.fate == FileFate::keptAnimation) {
    lines.push_back(
        std::string(outcome.copyFailure.empty() ? "  kept the original: " : "  not re-encoded: ") +
        "an animated PNG, which a JPEG cannot hold");
  }
  if (outcome.fate == FileFate::failed) {
    // "Kept the original" only when the original really is in the output folder (or was meant to stay
    // out of it, which never happens after a failed re-encode).
    lines.push_back(std::string("  could not re-encode") +
                    (outcome.copyFailure.empty() ? " (kept the original): " : ": ") +
                    shownName(outcome.reencodeFailure));
  }
  if (!outcome.copyFailure.empty())
    lines.push_back("  could not copy: " + shownName(outcome.copyFailure));
  return lines;
}

}  // namespace

std::vector<std::string> linesOf(const RunEvent& event) {
  if (const auto* started = std::get_if<FileStarted>(&event))
    return {progressLine(*started)};
  if (const auto* outcome = std::get_if<FileOutcome>(&event)) {
    if (outcome->fate == FileFate::unchanged)
      return {"  unchanged since the last run"};
    return problemLines(*outcome);
  }
  if (std::holds_alternative<FilesFinished>(event))
    return {};  // a count for the window, not a line
  const auto& listFailure = std::get<DeletionListFailure>(event);
  return {"  could not write " + std::string(deletionListName) + ": " + shownName(listFailure.reason)};
}

std::vector<std::string> namedProblemLines(const FileOutcome& outcome) {
  std::vector<std::string> lines = problemLines(outcome);
  for (std::string& line : lines)
    line = shownName(outcome.name) + ": " + line.substr(2);
  return lines;
}

std::vector<std::string> closingLines(const ImageOptimizer::Result& result) {
  std::vector<std::string> lines{"", "Done. " + std::to_string(result.processed) + " resized/converted, " +
                                         std::to_string(result.skippedSmall) + " already small."};
  if (result.skippedUnchanged > 0) {
    lines.push_back(std::to_string(result.skippedUnchanged) +
                    " unchanged since the last run -- left as they are.");
  }
  if (const auto empty = emptyRunLine(result))
    lines.push_back(*empty);
  if (result.grew > 0) {
    lines.push_back(std::to_string(result.grew) +
                    " came out larger after reprocessing -- kept the original instead.");
  }
  if (result.failed > 0)
    lines.push_back(std::to_string(result.failed) +
                    " file(s) could not be optimized -- see the messages above.");
  if (!result.renamedFiles.empty()) {
    lines.push_back("");
    lines.push_back(std::to_string(result.renamedFiles.size()) +
                    " file(s) changed format and won't be overwritten on the server.");
    if (result.deletionListFailed) {
      lines.push_back(std::string(deletionListName) + " could not be written -- see the message above.");
    } else {
      lines.push_back("See " + std::string(deletionListName) + " in the output folder for the list.");
    }
  }
  if (result.stopped)
    lines.push_back(stopLine(result));
  return lines;
}

std::optional<std::string> emptyRunLine(const ImageOptimizer::Result& result) {
  const bool handledAny =
      result.images > 0 ||
      result.processed + result.skippedSmall + result.grew + result.failed + result.skippedUnchanged > 0;
  if (handledAny || result.stopped)
    return std::nullopt;
  const std::string none = "No JPEG, PNG or GIF file is directly in the source folder";
  if (result.subfolders == 0)
    return none + ".";
  return none + "; its " + std::to_string(result.subfolders) +
         (result.subfolders == 1 ? " subfolder was" : " subfolders were") + " not looked into.";
}

std::string stopLine(const ImageOptimizer::Result& result) {
  const ImageOptimizer::StopPoint stop = result.stopped.value_or(ImageOptimizer::StopPoint{});
  const std::string total = std::to_string(result.images);
  if (stop.lastFile.empty())
    return "Stopped before the first image (0 of " + total + ") -- the images were left as they are.";
  return "Stopped after " + shownName(stop.lastFile) + " (" + std::to_string(stop.filesHandled) + " of " +
         total + ") -- the images after it were left as they are.";
}

std::string errorLine(const std::exception_ptr& error) {
  return "Error: " + shownName(ImageOptimizer::errorDescription(error));  // it may name a path
}

std::string sizeText(std::uint64_t bytes) {
  if (bytes == 1)
    return "1 byte";
  if (bytes < 1000)
    return std::to_string(bytes) + " bytes";
  static constexpr const char* units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes) / 1000.0;
  std::size_t unit = 0;
  // Rounded as shown, so that 999,960 bytes reads "1.0 MB" and not "1000.0 kB".
  while (std::round(value * 10.0) >= 10000.0 && unit + 1 < std::size(units)) {
    value /= 1000.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

std::string bytesSavedText(const ImageOptimizer::Result& result) {
  const std::string sizes = sizeText(result.bytesBefore) + " \u2192 " + sizeText(result.bytesAfter);
  if (result.bytesAfter == result.bytesBefore)
    return sizes + " (unchanged)";
  if (result.bytesBefore == 0)
    return sizes;
  if (result.bytesAfter > result.bytesBefore) {
    const double grown = static_cast<double>(result.bytesAfter - result.bytesBefore) /
                         static_cast<double>(result.bytesBefore) * 100.0;
    return sizes + " (" + std::to_string(std::max(1L, std::lround(grown))) + " % larger)";
  }
  const double saved = static_cast<double>(result.bytesBefore - result.bytesAfter) /
                       static_cast<double>(result.bytesBefore) * 100.0;
  if (saved < 0.5)
    return sizes + " (less than 1 % smaller)";
  // Never "100 % smaller" while something was written.
  const long shown = std::min(std::lround(saved), 99L);
  return sizes + " (" + std::to_string(shown) + " % smaller)";
}

namespace {

std::string plannedAction(const PlannedFile& file, ImageOptimizer::OutputMode mode) {
  if (!file.ownNameBlockedBy.empty() && file.outputName.empty() &&
      !(file.handling == FileHandling::small && mode == ImageOptimizer::OutputMode::changedOnly)) {
    return "not written: " + shownName(file.name) + " is the same name as " +
           shownName(file.ownNameBlockedBy) + " in the output folder, which does not tell letter case apart";
  }
  switch (file.handling) {
    case FileHandling::reencode:
      if (file.ownName == OwnNameReason::nameTaken) {
        return "re-encode under its own name: " + shownName(file.nameTakenBy) + " holds the converted name";
      }
      return "re-encode as " + shownName(file.outputName) +
             (file.listedForDeletion ? ", listed for deletion" : "");
    case FileHandling::small:
      return mode == ImageOptimizer::OutputMode::changedOnly ? "small, left out" : "small, copied unchanged";
    case FileHandling::copy:
      return "copied unchanged";
    case FileHandling::keepOwnName:
      if (file.ownName == OwnNameReason::nameTaken)
        return "copied unchanged, keeping its own name: " + shownName(file.nameTakenBy) +
               " holds the converted name";
      return "copied unchanged, keeping its own name: the name cannot be written to " +
             std::string(deletionListName);
  }
  return {};
}

}  // namespace

std::vector<std::string> plannedLines(const PlannedRun& run, ImageOptimizer::OutputMode mode) {
  std::vector<std::string> lines;
  for (const PlannedFile& file : run.files) {
    lines.push_back("[" + std::to_string(file.number) + "/" + std::to_string(file.total) + "] " +
                    shownName(file.name) + ": " + plannedAction(file, mode));
  }
  if (!run.deletionList.empty()) {
    lines.push_back("");
    lines.push_back(std::string(deletionListName) + " would list:");
    for (const std::string& name : run.deletionList)
      lines.push_back("  " + shownName(name));
  }
  lines.push_back("");
  lines.push_back(
      "Nothing was written. A re-encode that comes out larger keeps the original instead, which "
      "only a real run can tell.");
  return lines;
}

std::string shownName(const std::string& name) {
  std::string shown;
  const char* at = name.data();
  const char* const end = at + name.size();
  while (at < end) {
    const char* validEnd = nullptr;
    g_utf8_validate(at, static_cast<gssize>(end - at), &validEnd);
    for (; at < validEnd; at = g_utf8_next_char(at)) {
      const gunichar c = g_utf8_get_char(at);
      if (c < 0x20) {
        shown += "\xE2\x90";  // U+2400 + c
        shown += static_cast<char>(0x80 + c);
      } else if (c == 0x7F) {
        shown += "\xE2\x90\xA1";
      } else if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
        shown += escaped("\\u%04X", c);  // C1 controls (a terminal's CSI among them), line separators
      } else {
        shown.append(at, static_cast<const char*>(g_utf8_next_char(at)));
      }
    }
    if (at < end)  // a byte that is not UTF-8
      shown += escaped("\\x%02X", static_cast<unsigned char>(*at++));
  }
  return shown;
}

std::optional<std::string> problemSummaryText(const ImageOptimizer::Result& result) {
  std::vector<std::string> problems;
  if (result.failed > 0) {
    problems.push_back(std::to_string(result.failed) + (result.failed == 1 ? " image" : " images") +
                       " could not be optimized");
  }
  if (result.deletionListFailed)
    problems.push_back(std::string(deletionListName) + " could not be written");
  if (problems.empty())
    return std::nullopt;
  return (problems.size() == 1 ? problems[0] : problems[0] + " and " + problems[1]) + " -- see the log";
}

namespace {

std::string ownNameReason(const FileOutcome& outcome) {
  if (outcome.ownName == OwnNameReason::nameTaken)
    return shownName(outcome.convertedName) + " is taken by " + shownName(outcome.nameTakenBy);
  return "its name cannot be written to " + std::string(deletionListName);
}

// Why the original is what the output folder holds for the file; empty where it was not meant to be.
std::string originalKeptBecause(const FileOutcome& outcome) {
  switch (outcome.fate) {
    case FileFate::grew:
      return "the re-encoded image came out larger";
    case FileFate::keptAnimation:
      return "an animated PNG, which a JPEG cannot hold";
    case FileFate::failed:
      return shownName(outcome.reencodeFailure);
    case FileFate::keptOwnName:
      return ownNameReason(outcome);
    default:
      return {};
  }
}

}  // namespace

std::string outcomeText(const FileOutcome& outcome) {
  const std::string copyFailure =
      outcome.copyFailure.empty() ? std::string() : "could not copy: " + shownName(outcome.copyFailure);
  if (const std::string reason = originalKeptBecause(outcome); !reason.empty())
    return copyFailure.empty() ? "kept the original: " + reason : reason + "; " + copyFailure;
  if (!copyFailure.empty())
    return copyFailure;
  switch (outcome.fate) {
    case FileFate::reencoded:
      return "re-encoded as " + shownName(outcome.outputName) +
             (outcome.ownName == OwnNameReason::none ? "" : " (" + ownNameReason(outcome) + ")");
    case FileFate::small:
      return outcome.outputName.empty() ? "left out as small" : "copied as small";
    case FileFate::copied:
      return "copied";
    case FileFate::unchanged:
      return "unchanged since the last run";
    default:
      return "kept the original";
  }
}

}  // namespace run_log
