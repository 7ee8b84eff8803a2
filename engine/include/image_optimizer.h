#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "planned_run.h"
#include "run_events.h"

// The optimizer engine: turns a source folder of web images into an output folder.
// A namespace-like type: it has no instances and no state; everything is static.
class ImageOptimizer {
 public:
  ImageOptimizer() = delete;

  enum class OutputMode { changedOnly, fullReplacement };

  // Where a stopped run ended: every file up to and including lastFile, in name order, was handled, and
  // nothing after it was written.
  struct StopPoint {
    std::int64_t filesHandled = 0;
    std::string lastFile;  // empty when the run stopped before its first file
    bool operator==(const StopPoint&) const = default;
  };

  // A JPEG written under base + ".jpg" rather than its own name (blog/Big.JPEG as blog/Big.jpg).
  struct RenamedJpeg {
    std::string name;
    std::string outputName;
    bool operator==(const RenamedJpeg&) const = default;
  };

  // The totals of one run. Every file of the run counts in exactly one of processed, skippedSmall, grew,
  // failed, skippedUnchanged, copied and keptAnimations.
  struct Result {
    std::int64_t processed = 0;
    std::int64_t skippedSmall = 0;
    std::int64_t grew = 0;
    std::vector<std::string> renamedFiles;
    // Files that could not be handled as intended; each file counts once.
    std::int64_t failed = 0;
    // Over every JPEG, PNG and GIF the run handled: the source sizes, and the sizes of what the output
    // folder holds for them afterwards (a source size where nothing was written for a file).
    std::uint64_t bytesBefore = 0;
    std::uint64_t bytesAfter = 0;
    // renamedFiles could not be written to the deletion list in the output folder.
    bool deletionListFailed = false;
    // The run was asked to stop before its last file: where it stopped.
    std::optional<StopPoint> stopped{};
    // Files left alone because their output still carries the record of this very source and these
    // settings (RunSettings::skipUnchanged).
    std::int64_t skippedUnchanged = 0;
    // The JPEG, PNG and GIF files directly in the source folder: the files of the run.
    std::int64_t images = 0;
    // The folders directly in the source folder, which a run does not look into; with
    // RunSettings::recursive, the folders it looked into below the source folder.
    std::int64_t subfolders = 0;
    bool recursive = false;  // RunSettings::recursive
    // Subfolders that could not be read; their files are not part of the run.
    std::vector<FolderNotRead> foldersNotRead{};
    // JPEG files whose output is named base + ".jpg" rather than their own name (Big.JPEG as Big.jpg),
    // in name order: pages that link the old name need mending.
    std::vector<RenamedJpeg> renamedJpegs{};
    // Entries named like images that are not regular files, left out: how many of each kind.
    std::map<EntryKind, std::int64_t> leftOut{};
    // The output drive keeps no record of what its files were made from (no extended attributes), so
    // RunSettings::skipUnchanged could leave nothing alone.
    bool recordsUnavailable = false;
    // GIF files copied unchanged, and animated PNG files kept as they are: nothing went wrong with them.
    std::int64_t copied = 0;
    std::int64_t keptAnimations = 0;
    // Outputs of earlier runs that this run does not make, removed (RunSettings::skipUnchanged), and
    // those that could not be removed (each a problem, reported as an OutputRemoved event).
    std::int64_t removed = 0;
    std::int64_t removalsFailed = 0;
    // A deletion list of an earlier run was removed: this run lists no PNG file.
    bool deletionListRemoved = false;
    // Outputs that could not be given the record of what they were made from, and why the first could
    // not (a drive that keeps no records at all is recordsUnavailable): a re-run redoes them.
    std::int64_t recordsNotKept = 0;
    std::string recordFailure{};

    bool operator==(const Result&) const = default;
  };

  static constexpr std::int64_t maxDimension = 1920;
  static constexpr std::int64_t jpegQuality = 80;
  static constexpr std::uint64_t skipUnderBytes = 512000;
  // The list of converted PNG files in the output folder.
  static constexpr const char* deletionListName = "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt";

  // What ends a run early, and the only exception `run` and `plan` throw. what() is the one-line
  // description the user reads: "Permission denied: /home/ann/site/out".
  class RunError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // Synchronous: callers put it on a background thread. A failure that leaves the run without a basis
  // (the output folder, the source listing, a source file that vanished, the image library) ends it
  // with a RunError; a problem with one file is reported and counted in Result::failed, and the run
  // goes on. `events` receives what happens to each file, as values (run_log.h words them).
  static Result run(const std::filesystem::path& source, const std::filesystem::path& destination,
                    OutputMode mode, const RunEventHandler& events, const RunSettings& settings);

  // A dry run: what `run` would do with each file, the very decisions `run` carries out, writing
  // nothing (not even the output folder). Of `settings` only skipUnchanged counts. Whether a re-encode
  // would come out larger cannot be known without doing it. Throws what `run` throws for the source
  // folder and for the two folders being one.
  static PlannedRun plan(const std::filesystem::path& source, const std::filesystem::path& destination,
                         OutputMode mode, const RunSettings& settings = {});

  // "8.14.1": the libvips the engine runs on.
  static std::string imageLibraryVersion();
};
