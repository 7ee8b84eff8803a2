#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "file_job.h"
#include "image_optimizer.h"
#include "ordered_parallel.h"
#include "run_events.h"
#include "run_plan.h"
#include "step_error.h"

// How a run over the planned files went: its totals, and the failure that ended it early, if one did.
struct FolderRunOutcome {
  ImageOptimizer::Result totals;
  std::optional<RunFailure> failure;
  // An output could not be given its record: the drive keeps no extended attributes.
  bool recordsUnsupported = false;
};

// One run over the planned files. Files are prepared on several threads at once (OrderedParallel), but
// placed, counted and reported strictly in name order on the calling thread: the log, the output folder
// and the totals are those of a run that takes one file after another. A stop leaves a clean prefix:
// every file before the first one that had not finished, and nothing after it.
class FolderRun {
 public:
  struct Limits {
    unsigned jobs = 1;
    std::uint64_t memoryInFlight = 0;  // what the images in hand may need together, by their estimates
  };

  FolderRun(const std::vector<FilePlan>& plans, const RunContext& context, const RunEventHandler& events,
            std::stop_token stop, Limits limits);

  // Begins, with skip-unchanged, with the removals (RunContext::staleOutputs), and ends with the
  // deletion list.
  FolderRunOutcome handleAll();

 private:
  using Parallel = OrderedParallel<PreparedFile>;

  Parallel::Next placeInTurn(PreparedFile&& prepared);
  void count(const FilePlan& plan, const FileOutcome& outcome);

  const std::vector<FilePlan>& plans_;
  const RunContext& context_;
  const RunEventHandler& events_;
  std::stop_token stop_;
  Limits limits_;
  FolderRunOutcome outcome_;
  std::int64_t placed_ = 0;
};
