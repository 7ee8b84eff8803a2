#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "image_optimizer.h"
#include "planned_run.h"
#include "run_events.h"
#include "source_listing.h"

// What a run means to do with each file, decided in name order before any work starts, so that the
// decisions are the same however many files are then worked on at once.
struct FilePlan {
  // Its FileFate, once done, is the one of the same name, or for a re-encode also grew or failed.
  using Handling = FileHandling;

  SourceEntry entry;
  std::size_t number = 0;  // position in name order, from 1
  std::size_t total = 0;
  // The size when the run was planned; a size that could not be read ends the run at this file.
  std::uint64_t plannedSize = 0;
  std::error_code sizeError;

  Handling handling = Handling::small;
  std::string convertedName;  // base + ".jpg"
  std::string writeName;      // with Handling::reencode: the converted name, or the entry's own name
  // The converted name and the entry's own name are one entry of the output folder.
  bool convertedIsOwnName = false;
  OwnNameReason ownName = OwnNameReason::none;
  std::string nameTakenBy;
  // In changedOnly: a PNG that, once converted, is listed for deletion from the server.
  bool listedWhenConverted = false;
  // On a folder that ignores case: the entry whose name is the same as this entry's own name there.
  // Nothing may then be written under the own name.
  std::string ownNameBlockedBy;
};

// Plans every entry. `foldsCase`: the output folder takes names that differ only in case as one.
std::vector<FilePlan> planRun(const std::vector<SourceEntry>& entries, ImageOptimizer::OutputMode mode,
                              bool foldsCase);
