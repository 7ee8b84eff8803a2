#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <variant>

// What a run reports while it works, as values. They become log lines in one place only (run_log.h).
// Events arrive in name order, on the thread that called ImageOptimizer::run: for each file a
// FileStarted before its outcome is known, then its FileOutcome.

// A file is about to be handled (or is being handled): "[3/12] banner.png".
struct FileStarted {
  std::size_t number = 0;  // position in name order, counted from 1
  std::size_t total = 0;   // the images of the run
  std::string name;        // exactly as listed in the source folder
};

// What became of one file. Each file has exactly one fate; the notes say what else the user must know.
enum class FileFate {
  reencoded,    // written as base + ".jpg" (or under its own name when that name was taken)
  grew,         // the re-encoded form came out larger: the original was written under its own name
  small,        // under the size threshold: left out, or copied unchanged in full replacement
  copied,       // a GIF, copied unchanged
  keptOwnName,  // a PNG that cannot take its converted name: the original under its own name
  failed,       // the image could not be re-encoded: the original under its own name, where possible
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
  std::string convertedName;      // base + ".jpg"
  std::string nameTakenBy;        // with OwnNameReason::nameTaken: the entry that holds convertedName
  std::string reencodeFailure;    // with FileFate::failed: why, in plain words
  std::string copyFailure;        // why the original could not be written, when it could not
  std::uint64_t bytesBefore = 0;  // the source file's size
  std::uint64_t bytesAfter = 0;  // what the output folder holds for it (bytesBefore when nothing was written)

  // The file could not be handled as intended: it counts in Result::failed.
  bool isProblem() const {
    return fate == FileFate::failed || fate == FileFate::keptOwnName || !copyFailure.empty();
  }
};

// The list of converted PNG files could not be written into the output folder.
struct DeletionListFailure {
  std::string reason;
};

using RunEvent = std::variant<FileStarted, FileOutcome, DeletionListFailure>;
using RunEventHandler = std::function<void(const RunEvent&)>;

// How a run is carried out; none of it changes what the run writes or reports.
struct RunSettings {
  // Honoured between files: no new file is started, the files in hand finish, the deletion list is
  // written for what was converted, and the run returns its totals.
  std::stop_token stop;
  // Files worked on at the same time; 0 means one per hardware thread.
  unsigned jobs = 0;
};
