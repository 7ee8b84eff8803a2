#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "run_events.h"

// What is decided for a file before any work, in name order: the one decision that a dry run prints
// and a run carries out, the same however many files are then worked on at once.
enum class FileHandling {
  reencode,     // re-encoded as a JPEG under outputName; should it come out larger, the original instead
  small,        // under the size threshold: left out, or copied unchanged in full replacement
  copy,         // a GIF, copied unchanged
  keepOwnName,  // a PNG that cannot take its converted name: copied unchanged under its own name
  unchanged,    // its output carries the record of this source and these settings: left alone
  notWritten,   // the output folder cannot take it under any name it may have (notWrittenReason)
};

// One file's decision.
struct PlannedFile {
  std::size_t number = 0;
  std::size_t total = 0;
  std::string name;
  std::string convertedName;  // base + ".jpg", in the entry's folder
  FileHandling handling = FileHandling::small;
  // What the run writes for it (or, unchanged, finds); empty when it writes nothing.
  std::string outputName;
  OwnNameReason ownName = OwnNameReason::none;
  std::string nameTakenBy;  // with OwnNameReason::nameTaken
  // With reencode: what stands in the way of its JPEG's name, found before any work. The run then writes
  // the original under its own name (outputName) and reports the file as a problem.
  std::string reencodeBlocked;
  std::string notWrittenReason;  // with notWritten
  bool listedForDeletion = false;
  // With skip-unchanged, for an original that must stand under its own name (keepOwnName, or a
  // re-encode whose JPEG name is blocked): it is there already with the record of this source, and
  // stays as it is; the file is still reported as its outcome says.
  bool outputInPlace = false;
  // With AVIF asked for: the AVIF the run writes beside its JPEG (outputName + ".avif") where it comes
  // out smaller, or, unchanged, finds there. Empty for other files.
  std::string avifName;
  std::uint64_t bytes = 0;
};

struct PlannedRun {
  std::vector<PlannedFile> files;
  // The names the deletion list gets, should every re-encode listed here come out smaller.
  std::vector<std::string> deletionList;
  std::int64_t subfolders = 0;
  bool recursive = false;
  std::map<EntryKind, std::int64_t> leftOut;  // as ImageOptimizer::Result::leftOut
  std::vector<FolderNotRead> foldersNotRead;  // as ImageOptimizer::Result::foldersNotRead
  // The output folder (or, not there yet, the nearest folder above it) ignores letter case.
  bool caseIgnoringOutput = false;
  // Asked to leave unchanged files alone, on an output drive that keeps no record of them.
  bool recordsUnavailable = false;
  // With skip-unchanged: the outputs of earlier runs that this plan does not make, which the run
  // removes (ImageOptimizer::Result::removed).
  std::vector<OutputRemoved> removals;
  // No PNG is listed, and a list of an earlier run is in the output folder: the run removes it.
  bool removesDeletionList = false;
};
