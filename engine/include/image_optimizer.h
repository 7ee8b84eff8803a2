#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
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

  // The totals of one run.
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
    // Files left alone because their output was no older than the source (RunSettings::skipUnchanged).
    std::int64_t skippedUnchanged = 0;
    // The JPEG, PNG and GIF files directly in the source folder: the files of the run.
    std::int64_t images = 0;
    // The folders directly in the source folder, which a run does not look into.
    std::int64_t subfolders = 0;

    bool operator==(const Result&) const = default;
  };

  static constexpr std::int64_t maxDimension = 1920;
  static constexpr std::int64_t jpegQuality = 80;
  static constexpr std::uint64_t skipUnderBytes = 512000;

  using Progress = std::function<void(const std::string&)>;

  // Synchronous: callers put it on a background thread. A failure that leaves the run without a basis
  // (the output folder, the source listing, a source file that vanished, the image library) is thrown;
  // a problem with one file is reported and counted in Result::failed, and the run goes on.
  // `progress` receives the log lines of each file (run_log.h).
  static Result run(const std::filesystem::path& source, const std::filesystem::path& destination,
                    OutputMode mode, const Progress& progress, std::stop_token stop = {});
  // The same run, reporting values instead of lines.
  static Result run(const std::filesystem::path& source, const std::filesystem::path& destination,
                    OutputMode mode, const RunEventHandler& events, const RunSettings& settings);

  // A dry run: what `run` would do with each file, decided as `run` decides it, writing nothing (not
  // even the output folder). Whether a re-encode would come out larger cannot be known without doing
  // it. Throws what `run` throws for the source folder and for the two folders being one.
  static PlannedRun plan(const std::filesystem::path& source, const std::filesystem::path& destination,
                         OutputMode mode);

  // A user-facing, one-line description of anything `run` throws, e.g.
  // "Permission denied: /home/ann/site/out".
  static std::string errorDescription(const std::exception_ptr& error);
};

template <>
struct std::hash<ImageOptimizer::OutputMode> {
  std::size_t operator()(ImageOptimizer::OutputMode mode) const noexcept {
    return std::hash<std::int64_t>{}(static_cast<std::int64_t>(mode));
  }
};
