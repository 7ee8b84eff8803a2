#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run_events.h"

// What is planned for a file before any work, in name order. A run decides it for every file first,
// so that the decisions are the same however many files are then worked on at once.
enum class FileHandling {
  reencode,     // re-encoded as a JPEG under outputName; should it come out larger, the original instead
  small,        // under the size threshold: left out, or copied unchanged in full replacement
  copy,         // a GIF, copied unchanged
  keepOwnName,  // a PNG that cannot take its converted name: copied unchanged under its own name
};

// One file of a dry run (ImageOptimizer::plan).
struct PlannedFile {
  std::size_t number = 0;
  std::size_t total = 0;
  std::string name;
  FileHandling handling = FileHandling::small;
  std::string outputName;  // what the run writes for it; empty when it writes nothing
  OwnNameReason ownName = OwnNameReason::none;
  std::string nameTakenBy;       // with OwnNameReason::nameTaken
  std::string ownNameBlockedBy;  // on a drive that ignores letter case: another entry holds its name
  bool listedForDeletion = false;
  std::uint64_t bytes = 0;
};

struct PlannedRun {
  std::vector<PlannedFile> files;
  // The names the deletion list gets, should every re-encode listed here come out smaller.
  std::vector<std::string> deletionList;
  std::int64_t subfolders = 0;
  // The output folder (or, not there yet, the nearest folder above it) ignores letter case.
  bool caseIgnoringOutput = false;
};
