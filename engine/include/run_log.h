#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image_optimizer.h"
#include "run_events.h"

// The wording of every line a run shows the user: the one place that knows it. The window, the
// command-line program and the bench all print through it.
namespace run_log {

// "[3/12] banner.png" for a FileStarted; the indented lines of a FileOutcome that say what the user
// must know (its problems, a name it kept, that it was left alone), none when all went as intended; the
// line about an unwritable deletion list.
std::vector<std::string> linesOf(const RunEvent& event);

// Of those lines, the ones that report a problem: every line of a file that could not be handled as
// intended (FileOutcome::isProblem), and the deletion list's. The window marks them; a quiet report
// prints only them.
std::vector<std::string> problemLinesOf(const RunEvent& event);

// The problem lines of a file, each starting with the file's name instead of the indent, for a report
// that leaves out the files that went as intended: "banner.png: could not copy: Permission denied".
std::vector<std::string> namedProblemLines(const FileOutcome& outcome);

// Why a file was not handled as intended, or kept its own name, in one line; none when neither.
std::optional<std::string> reasonOf(const FileOutcome& outcome);

// "photo.JPG is the same name as photo.jpg in the output folder, which does not tell letter case apart".
std::string sameNameText(const std::string& name, const std::string& holder);

// What closes the log of a finished run: a blank line, "Done. …" and the lines that apply.
std::vector<std::string> closingLines(const ImageOptimizer::Result& result);

// The line under "Done. …" of a run whose source folder holds no image directly: says so, and how many
// subfolders were not looked into. None when the run had images.
std::optional<std::string> emptyRunLine(const ImageOptimizer::Result& result);

// The last line of a stopped run: "Stopped after Kay.png (12 of 39) -- the images after it were left as
// they are."
std::string stopLine(const ImageOptimizer::Result& result);

// The one line that closes the log of a failed run: "Error: " and the description.
std::string errorLine(const ImageOptimizer::RunError& error);

// "72.9 MB → 4.1 MB (94 % smaller)": the run's images before and after, in decimal units.
std::string bytesSavedText(const ImageOptimizer::Result& result);

// "1.5 MB": decimal units with one decimal place, as desktop file managers show sizes.
std::string sizeText(std::uint64_t bytes);

// A dry run, a line per file ("[3/12] banner.png: re-encode as banner.jpg, listed for deletion"),
// then the names the deletion list would get and what a dry run cannot know.
std::vector<std::string> plannedLines(const PlannedRun& run, ImageOptimizer::OutputMode mode);

// A file name as the log shows it, always on one line and never a terminal's command: C0 control
// characters (a line feed in a name) appear as their Unicode pictures, C1 controls and the line and
// paragraph separators as "\u009B", bytes that are not UTF-8 as "\xFF".
std::string shownName(const std::string& name);

// What the window shows beside the sizes after a run with problems: "1 image could not be optimized --
// see the log", and likewise for an unwritable deletion list. None when every file went as intended.
std::optional<std::string> problemSummaryText(const ImageOptimizer::Result& result);

// What became of a file, for the window's table of files: "re-encoded as banner.jpg", "copied", "left
// out as small", "kept the original: the file is cut short", "unchanged since the last run", ...
std::string outcomeText(const FileOutcome& outcome);

}  // namespace run_log
