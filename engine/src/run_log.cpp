#include "run_log.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

namespace run_log {
namespace {

const std::string deletionListName = ImageOptimizer::deletionListName;

// Who holds a name: an entry of the run, or a folder of the source ("x.jpg/").
std::string holderText(const std::string& holder) {
  if (holder.ends_with('/'))
    return "the folder " + shownName(holder.substr(0, holder.size() - 1));
  return shownName(holder);
}

std::string escaped(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string progressLine(const FileStarted& started) {
  return "[" + std::to_string(started.number) + "/" + std::to_string(started.total) + "] " +
         shownName(started.name);
}

// What the user must know of a file, each a line of the log, from the outcome's values.
std::vector<std::string> phrasesOf(const FileOutcome& outcome) {
  if (outcome.fate == FileFate::unchanged)
    return {"unchanged since the last run"};
  std::vector<std::string> phrases;
  switch (outcome.ownName) {
    case OwnNameReason::none:
      break;
    case OwnNameReason::nameTaken:
      phrases.push_back("kept its own name: " + shownName(outcome.convertedName) + " is taken by " +
                        holderText(outcome.nameTakenBy));
      break;
    case OwnNameReason::cannotBeListed:
      phrases.push_back("kept its own name: the name cannot be written to " + deletionListName);
      break;
  }
  // "Kept the original" only when the original really is in the output folder.
  const std::string kept = outcome.outputName.empty() ? "" : " (kept the original)";
  if (outcome.fate == FileFate::keptAnimation) {
    phrases.push_back(std::string(kept.empty() ? "not re-encoded: " : "kept the original: ") +
                      "an animated PNG, which a JPEG cannot hold");
  }
  if (outcome.fate == FileFate::notWritten)
    phrases.push_back("not written: " + shownName(outcome.notWrittenReason));
  const bool writeFailedAlone = outcome.reencodeFailure.empty() && !outcome.writeFailure.empty();
  if (outcome.fate == FileFate::failed && !writeFailedAlone)
    phrases.push_back("could not re-encode" + kept + ": " + shownName(outcome.reencodeFailure));
  if (!outcome.writeFailure.empty()) {
    const bool keptInstead = outcome.reencodeFailure.empty() && outcome.outputName != outcome.failedWriteName;
    phrases.push_back("could not write " + shownName(outcome.failedWriteName) + (keptInstead ? kept : "") +
                      ": " + shownName(outcome.writeFailure));
  }
  if (!outcome.copyFailure.empty())
    phrases.push_back("could not copy: " + shownName(outcome.copyFailure));
  return phrases;
}

// The AVIF beside its JPEG, or why there is none.
std::optional<std::string> avifNote(const FileOutcome& outcome) {
  switch (outcome.avif) {
    case AvifFate::kept:
      return "+ AVIF " + sizeText(outcome.avifBytes);
    case AvifFate::larger:
      return "no AVIF: it came out no smaller than the JPEG (" + sizeText(outcome.avifBytes) + ")";
    case AvifFate::failed:
      return "no AVIF: " + shownName(outcome.avifFailure);
    case AvifFate::none:
    case AvifFate::unchanged:
      break;
  }
  return std::nullopt;
}

// What happened beside the file's own outcome: its AVIF, older outputs of it removed.
std::vector<std::string> notesOf(const FileOutcome& outcome) {
  std::vector<std::string> notes;
  if (const auto avif = avifNote(outcome))
    notes.push_back(*avif);
  for (const std::string& removed : outcome.removedOlder)
    notes.push_back("removed " + shownName(removed) + ", which an earlier run made from it");
  return notes;
}

// "its source old.png is gone"
std::string removalReason(const OutputRemoved& removal) {
  const std::string source = "its source " + shownName(removal.sourceName);
  switch (removal.cause) {
    case RemovalCause::sourceGone:
      return source + " is gone";
    case RemovalCause::writtenElsewhere:
      return source + " now goes to " + shownName(removal.nowWrittenAs);
    case RemovalCause::notWritten:
      return source + " is no longer written to the output folder";
    case RemovalCause::avifNotMade:
      return "no AVIF is made for " + shownName(removal.sourceName) + " now";
  }
  return {};
}

std::vector<std::string> indented(const std::vector<std::string>& phrases) {
  std::vector<std::string> lines;
  for (const std::string& phrase : phrases)
    lines.push_back("  " + phrase);
  return lines;
}

}  // namespace

std::vector<std::string> linesOf(const RunEvent& event) {
  if (const auto* started = std::get_if<FileStarted>(&event))
    return {progressLine(*started)};
  if (const auto* outcome = std::get_if<FileOutcome>(&event)) {
    std::vector<std::string> phrases = phrasesOf(*outcome);
    const std::vector<std::string> notes = notesOf(*outcome);
    phrases.insert(phrases.end(), notes.begin(), notes.end());
    return indented(phrases);
  }
  if (const auto* removal = std::get_if<OutputRemoved>(&event)) {
    if (!removal->failure.empty()) {
      return {"Could not remove " + shownName(removal->name) + " (" + removalReason(*removal) +
              "): " + shownName(removal->failure)};
    }
    return {"Removed " + shownName(removal->name) + ": " + removalReason(*removal) + "."};
  }
  if (std::holds_alternative<FilesFinished>(event))
    return {};  // a count for the window, not a line
  if (const auto* folder = std::get_if<FolderNotRead>(&event))
    return {"Could not read the folder " + shownName(folder->name) + ": " + shownName(folder->reason)};
  const auto& listFailure = std::get<DeletionListFailure>(event);
  if (listFailure.removing)
    return {"  could not remove the earlier " + deletionListName + ": " + shownName(listFailure.reason)};
  return {"  could not write " + deletionListName + ": " + shownName(listFailure.reason)};
}

std::vector<std::string> problemLinesOf(const RunEvent& event) {
  if (const auto* outcome = std::get_if<FileOutcome>(&event))
    return outcome->isProblem() ? indented(phrasesOf(*outcome)) : std::vector<std::string>();
  if (const auto* removal = std::get_if<OutputRemoved>(&event))
    return removal->failure.empty() ? std::vector<std::string>() : linesOf(event);
  if (std::holds_alternative<DeletionListFailure>(event) || std::holds_alternative<FolderNotRead>(event))
    return linesOf(event);
  return {};
}

std::optional<std::string> reasonOf(const FileOutcome& outcome) {
  if (outcome.fate == FileFate::unchanged)
    return std::nullopt;
  std::string reason;
  for (const std::string& phrase : phrasesOf(outcome))
    reason += (reason.empty() ? "" : "; ") + phrase;
  return reason.empty() ? std::nullopt : std::optional(reason);
}

std::string sameNameText(const std::string& name, const std::string& holder) {
  return name + " is the same name as " + holder +
         " in the output folder, which does not tell letter case apart";
}

std::vector<std::string> namedProblemLines(const FileOutcome& outcome) {
  std::vector<std::string> lines = problemLinesOf(outcome);
  for (std::string& line : lines)
    line = shownName(outcome.name) + ": " + line.substr(2);
  return lines;
}

namespace {

const char* kindName(EntryKind kind) {
  switch (kind) {
    case EntryKind::folder:
      return "a folder";
    case EntryKind::fifo:
      return "a FIFO";
    case EntryKind::socket:
      return "a socket";
    case EntryKind::device:
      return "a device";
    case EntryKind::brokenLink:
      return "a broken link";
  }
  return "something else";
}

// "2 entries named like images were left out: not regular files (a folder, a FIFO)."
std::optional<std::string> leftOutLine(const std::map<EntryKind, std::int64_t>& leftOut) {
  std::int64_t count = 0;
  std::string kinds;
  for (const auto& [kind, number] : leftOut) {
    count += number;
    kinds += (kinds.empty() ? "" : ", ") + std::string(kindName(kind));
  }
  if (count == 0)
    return std::nullopt;
  if (count == 1)
    return "1 entry named like an image was left out: not a regular file (" + kinds + ").";
  return std::to_string(count) + " entries named like images were left out: not regular files (" + kinds +
         ").";
}

// "1 JPEG file now ends in .jpg: Big.JPEG → Big.jpg -- links to its old name need mending."
std::optional<std::string> renamedJpegsLine(const std::vector<ImageOptimizer::RenamedJpeg>& renamed) {
  if (renamed.empty())
    return std::nullopt;
  const std::string example =
      shownName(renamed.front().name) + " \u2192 " + shownName(renamed.front().outputName);
  if (renamed.size() == 1)
    return "1 JPEG file now ends in .jpg: " + example + " -- links to its old name need mending.";
  return std::to_string(renamed.size()) + " JPEG files now end in .jpg, such as " + example +
         " -- links to their old names need mending.";
}

}  // namespace

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
  if (result.copied > 0)
    lines.push_back(std::to_string(result.copied) + " GIF file(s) copied unchanged.");
  if (result.keptAnimations > 0)
    lines.push_back(std::to_string(result.keptAnimations) + " animated PNG file(s) kept as they are.");
  if (result.failed > 0)
    lines.push_back(std::to_string(result.failed) +
                    " file(s) could not be optimized -- see the messages above.");
  if (result.removed > 0) {
    lines.push_back(std::to_string(result.removed) +
                    " output(s) of earlier runs removed -- their sources are gone or go elsewhere now.");
  }
  if (result.removalsFailed > 0) {
    lines.push_back(std::to_string(result.removalsFailed) +
                    " output(s) of earlier runs could not be removed -- see the messages above.");
  }
  if (!result.foldersNotRead.empty()) {
    lines.push_back(std::to_string(result.foldersNotRead.size()) +
                    " subfolder(s) could not be read -- see the messages above.");
  }
  if (const auto leftOut = leftOutLine(result.leftOut))
    lines.push_back(*leftOut);
  if (result.recordsNotKept > 0) {
    lines.push_back(std::to_string(result.recordsNotKept) +
                    " output(s) could not carry the record of what they were made from (" +
                    shownName(result.recordFailure) + ") -- a re-run redoes them.");
  }
  if (result.recordsUnavailable) {
    lines.push_back(
        "The output drive keeps no extended attributes, so no record of what its files were made from "
        "could be read or kept -- every file was redone.");
  }
  if (!result.renamedFiles.empty()) {
    lines.push_back("");
    lines.push_back(std::to_string(result.renamedFiles.size()) +
                    " file(s) changed format and won't be overwritten on the server.");
    if (result.deletionListFailed) {
      lines.push_back(deletionListName + " could not be written -- see the message above.");
    } else {
      lines.push_back("See " + deletionListName + " in the output folder for the list.");
    }
  }
  if (result.deletionListRemoved) {
    lines.push_back("The " + deletionListName +
                    " of an earlier run was removed: this run converted no PNG file.");
  }
  if (const auto renamed = renamedJpegsLine(result.renamedJpegs))
    lines.push_back(*renamed);
  if (result.stopped)
    lines.push_back(stopLine(result));
  return lines;
}

std::optional<std::string> emptyRunLine(const ImageOptimizer::Result& result) {
  const bool handledAny = result.images > 0 || result.processed + result.skippedSmall + result.grew +
                                                       result.failed + result.skippedUnchanged +
                                                       result.copied + result.keptAnimations >
                                                   0;
  if (handledAny || result.stopped)
    return std::nullopt;
  if (result.recursive) {
    return "No JPEG, PNG or GIF file is in the source folder or its " + std::to_string(result.subfolders) +
           (result.subfolders == 1 ? " subfolder." : " subfolders.");
  }
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

std::string errorLine(const ImageOptimizer::RunError& error) {
  return "Error: " + shownName(error.what());  // it may name a path
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

// An original that stands under its own name already, as an earlier run left it.
std::string inPlace(const PlannedFile& file) {
  return file.outputInPlace ? " (there already, unchanged since the last run)" : "";
}

std::string plannedJpegAction(const PlannedFile& file, ImageOptimizer::OutputMode mode) {
  switch (file.handling) {
    case FileHandling::reencode:
      if (!file.reencodeBlocked.empty()) {
        return "copied unchanged, as " + shownName(file.convertedName) +
               " cannot be written: " + shownName(file.reencodeBlocked) + inPlace(file);
      }
      if (file.ownName == OwnNameReason::nameTaken)
        return "re-encode under its own name: " + holderText(file.nameTakenBy) + " holds the converted name";
      return "re-encode as " + shownName(file.outputName) +
             (file.listedForDeletion ? ", listed for deletion" : "");
    case FileHandling::small:
      return mode == ImageOptimizer::OutputMode::changedOnly ? "small, left out" : "small, copied unchanged";
    case FileHandling::copy:
      return "copied unchanged";
    case FileHandling::keepOwnName:
      if (file.ownName == OwnNameReason::nameTaken)
        return "copied unchanged, keeping its own name: " + holderText(file.nameTakenBy) +
               " holds the converted name" + inPlace(file);
      return "copied unchanged, keeping its own name: the name cannot be written to " + deletionListName +
             inPlace(file);
    case FileHandling::unchanged:
      return "unchanged since the last run" +
             std::string(file.listedForDeletion ? ", listed for deletion" : "");
    case FileHandling::notWritten:
      return "not written: " + shownName(file.notWrittenReason);
  }
  return {};
}

std::string plannedAction(const PlannedFile& file, ImageOptimizer::OutputMode mode) {
  if (file.avifName.empty())
    return plannedJpegAction(file, mode);
  return plannedJpegAction(file, mode) + (file.handling == FileHandling::unchanged
                                              ? ", with its AVIF"
                                              : ", and its AVIF where that is smaller");
}

}  // namespace

std::vector<std::string> plannedLines(const PlannedRun& run, ImageOptimizer::OutputMode mode) {
  std::vector<std::string> lines;
  for (const PlannedFile& file : run.files) {
    lines.push_back("[" + std::to_string(file.number) + "/" + std::to_string(file.total) + "] " +
                    shownName(file.name) + ": " + plannedAction(file, mode));
  }
  for (const FolderNotRead& folder : run.foldersNotRead) {
    const std::vector<std::string> said = linesOf(folder);
    lines.insert(lines.end(), said.begin(), said.end());
  }
  for (const OutputRemoved& removal : run.removals)
    lines.push_back("Would remove " + shownName(removal.name) + ": " + removalReason(removal) + ".");
  if (!run.deletionList.empty()) {
    lines.push_back("");
    lines.push_back(deletionListName + " would list:");
    for (const std::string& name : run.deletionList)
      lines.push_back("  " + shownName(name));
  }
  if (run.removesDeletionList) {
    lines.push_back("");
    lines.push_back("The " + deletionListName +
                    " of an earlier run would be removed: no PNG file is converted.");
  }
  lines.push_back("");
  if (const auto leftOut = leftOutLine(run.leftOut))
    lines.push_back(*leftOut);
  if (run.recordsUnavailable)
    lines.push_back("The output drive keeps no extended attributes, so a run would redo every file.");
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
    problems.push_back(deletionListName + " could not be written");
  if (!result.foldersNotRead.empty()) {
    problems.push_back(std::to_string(result.foldersNotRead.size()) +
                       (result.foldersNotRead.size() == 1 ? " subfolder" : " subfolders") +
                       " could not be read");
  }
  if (result.removalsFailed > 0) {
    problems.push_back(std::to_string(result.removalsFailed) +
                       (result.removalsFailed == 1 ? " old output" : " old outputs") +
                       " could not be removed");
  }
  if (problems.empty())
    return std::nullopt;
  std::string text = problems.front();
  for (std::size_t at = 1; at < problems.size(); ++at)
    text += (at + 1 == problems.size() ? " and " : ", ") + problems[at];
  return text + " -- see the log";
}

std::string outcomeText(const FileOutcome& outcome) {
  // A problem, or an original kept on purpose, reads as its log lines do.
  if (outcome.isProblem() || outcome.fate == FileFate::keptAnimation)
    return reasonOf(outcome).value_or("could not be handled");
  switch (outcome.fate) {
    case FileFate::reencoded: {
      const auto note = reasonOf(outcome);  // the name it kept, and why
      const auto avif = outcome.avif == AvifFate::kept ? avifNote(outcome) : std::nullopt;
      return "re-encoded as " + shownName(outcome.outputName) + (avif ? " " + *avif : "") +
             (note ? " (" + *note + ")" : "");
    }
    case FileFate::small:
      return outcome.outputName.empty() ? "left out as small" : "copied as small";
    case FileFate::copied:
      return "copied";
    case FileFate::unchanged:
      return "unchanged since the last run";
    case FileFate::grew:
      return "kept the original: the re-encoded image came out larger";
    default:
      return "kept the original";
  }
}

}  // namespace run_log
