#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

// What a run reports while it works, as values. They become log lines in one place only (run_log.h).
// Events arrive on the thread that called ImageOptimizer::run. FileStarted and FileOutcome come in name
// order, one pair per file, as each file is placed in the output folder; FilesFinished counts the
// files whose work is done, in whatever order they finish.

// A file is about to be handled (or is being handled): "[3/12] banner.png".
struct FileStarted {
  std::size_t number = 0;  // position in name order, counted from 1
  std::size_t total = 0;   // the images of the run
  std::string name;        // exactly as listed in the source folder
};

// Another file's work is done (it is placed, in name order, once every file before it is done too).
struct FilesFinished {
  std::size_t finished = 0;  // files done so far, in any order
  std::size_t total = 0;
};

// What became of one file. Each file has exactly one fate; the notes say what else the user must know.
enum class FileFate {
  reencoded,    // written as base + ".jpg" (or under its own name when that name was taken)
  grew,         // the re-encoded form came out larger: the original was written under its own name
  small,        // under the size threshold: left out, or copied unchanged in full replacement
  copied,       // a GIF, copied unchanged
  keptOwnName,  // a PNG that cannot take its converted name: the original under its own name
  failed,       // the image could not be re-encoded: the original under its own name, where possible
  unchanged,    // with RunSettings::skipUnchanged: its output carries the record of this source; left alone
  // An animated PNG, which a JPEG cannot hold: the original under its own name, as for `grew`. Like a
  // GIF, it counts in no total: nothing went wrong.
  keptAnimation,
  // The output folder cannot take the file under any name it may have (notWrittenReason says why,
  // known before any work): nothing was written for it.
  notWritten,
};

// With AVIF asked for (RunSettings::also), what became of the AVIF of a JPEG the run wrote.
enum class AvifFate {
  none,       // not asked for, or no JPEG written
  kept,       // beside the JPEG as avifName
  larger,     // it came out no smaller than the JPEG: not kept
  failed,     // it could not be made or written (avifFailure): the JPEG stands alone
  unchanged,  // beside an unchanged JPEG, as an earlier run made it
};

// Why a file did not take its converted name.
enum class OwnNameReason {
  none,
  nameTaken,       // another entry of the run holds base + ".jpg"
  cannotBeListed,  // a converted PNG must be listed for deletion, and its name cannot be written there
};

struct FileOutcome {
  std::size_t number = 0;
  std::size_t total = 0;
  std::string name;
  FileFate fate = FileFate::failed;
  OwnNameReason ownName = OwnNameReason::none;
  std::string convertedName;  // base + ".jpg"
  // What the output folder holds for the file: the name written (or, unchanged, found); empty when
  // nothing is there for it.
  std::string outputName;
  std::string nameTakenBy;      // with OwnNameReason::nameTaken: the entry that holds convertedName
  std::string reencodeFailure;  // with FileFate::failed: why the image work failed, in plain words
  std::string copyFailure;      // why the original could not be read or copied, when it could not
  // A name that could not be written in the output folder, and why: the drive refused it, or
  // something stands in its way. Nothing was written under it.
  std::string failedWriteName;
  std::string writeFailure;
  std::string notWrittenReason;   // with FileFate::notWritten
  std::uint64_t bytesBefore = 0;  // the source file's size
  std::uint64_t bytesAfter = 0;  // what the output folder holds for it (bytesBefore when nothing was written)
  // Outputs an earlier run made for this file under its other name (its JPEG's, or its own, and the AVIF
  // beside it), which the output folder no longer holds for it: removed now.
  std::vector<std::string> removedOlder;
  AvifFate avif = AvifFate::none;
  std::string avifName;
  std::uint64_t avifBytes = 0;
  std::string avifFailure;

  // The file could not be handled as intended: it counts in Result::failed.
  bool isProblem() const {
    return fate == FileFate::failed || fate == FileFate::keptOwnName || fate == FileFate::notWritten ||
           !copyFailure.empty() || !writeFailure.empty();
  }
};

// The list of converted PNG files could not be written into the output folder, or (removing) a list
// of an earlier run could not be removed from it although this run lists nothing.
struct DeletionListFailure {
  std::string reason;
  bool removing = false;
};

// Why an output an earlier run made is not what this run's plan makes.
enum class RemovalCause {
  sourceGone,        // no source of the run is named as its record says
  writtenElsewhere,  // its source now goes under another name (nowWrittenAs)
  notWritten,        // its source is now left out, or cannot be written at all
  avifNotMade,       // an AVIF whose source's JPEG now has none beside it (the option is off)
};

// With RunSettings::skipUnchanged: an output that carries the record of an earlier run, which this run
// does not make. The run removes it before it places any file, so that the folder ends as a run into an
// empty folder leaves it; a dry run lists it.
struct OutputRemoved {
  std::string name;        // relative to the output folder
  std::string sourceName;  // relative to the source folder, as its record says
  RemovalCause cause = RemovalCause::sourceGone;
  std::string nowWrittenAs;
  std::string failure;  // why it could not be removed; empty when it was
};

// A subfolder of the source could not be read: its files are not part of the run, which goes on.
struct FolderNotRead {
  std::string name;  // relative to the source folder
  std::string reason;
  bool operator==(const FolderNotRead&) const = default;
};

// What an entry named like an image is when it is not a regular file (a link counts as what it leads
// to); such entries are left out and counted.
enum class EntryKind { folder, fifo, socket, device, brokenLink };

using RunEvent =
    std::variant<FileStarted, FilesFinished, FileOutcome, DeletionListFailure, FolderNotRead, OutputRemoved>;
using RunEventHandler = std::function<void(const RunEvent&)>;

// Formats a run can also save beside each JPEG it writes, on request.
enum class ExtraFormat {
  avif,  // NAME.jpg.avif: the same pixels as NAME.jpg, kept where it is the smaller file
};

// How a run is carried out.
struct RunSettings {
  // No new file is started and the files in hand finish; the output then holds every file before the
  // first one that had not finished, in name order, and nothing after it. The deletion list is written
  // for what was converted, and the run returns its totals with the point where it stopped.
  std::stop_token stop;
  // Files worked on at the same time; 0 means one per processor this process may run on.
  unsigned jobs = 0;
  // For re-runs: a file is left alone when the output a run would write for it is there and still
  // carries the record of what it was made from (the source's name, size and modification time, and
  // the settings), equal to what the source and the settings are now. Anything else is redone: a
  // source whose date went back, an output edited or replaced, a file that had a problem last time.
  // The run then also removes the outputs earlier runs made (they carry the record) that this
  // run does not make, so the output folder ends as a run into an empty folder leaves it.
  bool skipUnchanged = false;
  // Every folder under the source folder too, but links to folders, hidden folders (".name") and the
  // output folder; each file's output goes to the same folder under the output folder, and names are
  // relative paths ("blog/2024/team.png"). Without it only the files directly in the source folder.
  bool recursive = false;
  // Beside every JPEG the run writes into the output folder, the same picture in each of these formats
  // too (NAME.jpg.avif), where that file is smaller than the JPEG. None by default: every output is then
  // as without the option.
  std::set<ExtraFormat> also{};
  // The memory the run sizes itself for (memoryForImages); 0 means what this process may use, the
  // machine's memory or its cgroup's limit. The bench sets it to measure a smaller machine.
  std::uint64_t machineMemory = 0;
};
