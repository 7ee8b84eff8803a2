#include "folder_run.h"

#include <cerrno>

#include "deletion_list.h"
#include "stale_outputs.h"

namespace {

// How far ahead of the oldest unplaced file a worker may start another. It bounds the files that wait,
// prepared, for their turn (two open temporary files each at the most), while leaving room to start
// the largest files first, so that no large file is left running alone at the end.
constexpr std::size_t lookahead = 32;

}  // namespace

FolderRun::FolderRun(const std::vector<FilePlan>& plans, const RunContext& context,
                     const RunEventHandler& events, std::stop_token stop, Limits limits)
    : plans_(plans), context_(context), events_(events), stop_(std::move(stop)), limits_(limits) {
  outcome_.totals.images = static_cast<std::int64_t>(plans.size());
}

FolderRunOutcome FolderRun::handleAll() {
  Parallel parallel(
      plans_.size(),
      {.workers = limits_.jobs, .lookahead = lookahead, .memoryCap = limits_.memoryInFlight, .stop = stop_});
  const std::size_t total = plans_.size();
  // Before anything is placed: a stale file may stand where a folder of this run goes.
  if (context_.staleOutputs)
    removeStaleOutputs(*context_.folder, context_.sourceLinks, *context_.staleOutputs, events_,
                       outcome_.totals);
  parallel.run({
      .weight = [this](std::size_t index) { return plans_[index].bytes; },
      .prepare = [this](std::size_t index,
                        MemoryBudget& memory) { return prepare(plans_[index], context_, memory); },
      .consume = [this](std::size_t, PreparedFile&& prepared) { return placeInTurn(std::move(prepared)); },
      .finished =
          [this, total](std::size_t done) {
            events_(FilesFinished{done, total});
          },
  });
  if (!outcome_.failure && placed_ < static_cast<std::int64_t>(total)) {
    outcome_.totals.stopped = ImageOptimizer::StopPoint{
        placed_, placed_ == 0 ? std::string() : plans_[static_cast<std::size_t>(placed_) - 1].entry.name};
  }
  // As a run into an empty folder would leave it: the list of the converted files placed, or none, also
  // when the run ended early.
  settleDeletionList(*context_.folder, context_.sourceLinks, outcome_.totals, events_);
  return std::move(outcome_);
}

FolderRun::Parallel::Next FolderRun::placeInTurn(PreparedFile&& prepared) {
  const FilePlan& plan = *prepared.plan;
  if (prepared.runEnding) {
    outcome_.failure = RunFailure{prepared.runEnding, plan.entry.path};
    return Parallel::Next::end;
  }
  // Removed under the run: one error for the run rather than one for every file after it.
  if (context_.folder->removed()) {
    outcome_.failure = RunFailure{StepError::ofErrno(ENOENT), context_.folder->path()};
    return Parallel::Next::end;
  }
  // Stopped in the middle of its work: the output ends before this file.
  if (prepared.unfinished)
    return Parallel::Next::end;
  outcome_.recordsUnsupported = outcome_.recordsUnsupported || prepared.recordsUnsupported;
  if (!prepared.recordFailure.empty()) {
    ImageOptimizer::Result& totals = outcome_.totals;
    if (totals.recordsNotKept++ == 0)
      totals.recordFailure = prepared.recordFailure;
  }
  events_(FileStarted{plan.number, plan.total, plan.entry.name});
  const FileOutcome outcome = place(std::move(prepared), context_);
  count(plan, outcome);
  ++placed_;
  events_(outcome);
  return Parallel::Next::carryOn;
}

void FolderRun::count(const FilePlan& plan, const FileOutcome& outcome) {
  ImageOptimizer::Result& totals = outcome_.totals;
  totals.bytesBefore += outcome.bytesBefore;
  totals.bytesAfter += outcome.bytesAfter;
  if (!outcome.removedOlder.empty())
    ++totals.removed;
  // Each file counts once: a problem file only as one that could not be optimized.
  if (outcome.isProblem()) {
    ++totals.failed;
    return;
  }
  // Big.JPEG written as Big.jpg: links to the old name need mending, whether written now or before.
  const bool convertedJpeg = plan.entry.kind == ImageKind::jpeg && outcome.outputName == plan.convertedName &&
                             plan.convertedName != plan.entry.name;
  if (convertedJpeg && (outcome.fate == FileFate::reencoded || outcome.fate == FileFate::unchanged))
    totals.renamedJpegs.push_back({outcome.name, outcome.outputName});
  switch (outcome.fate) {
    case FileFate::reencoded:
      ++totals.processed;
      if (plan.listedWhenConverted)
        totals.renamedFiles.push_back(outcome.name);
      break;
    case FileFate::grew:
      ++totals.grew;
      break;
    case FileFate::small:
      ++totals.skippedSmall;
      break;
    case FileFate::unchanged:
      ++totals.skippedUnchanged;
      // Its converted form is in the folder from an earlier run: the server still needs the list.
      if (plan.listedWhenConverted && outcome.outputName == plan.convertedName)
        totals.renamedFiles.push_back(outcome.name);
      break;
    case FileFate::copied:
      ++totals.copied;
      break;
    case FileFate::keptAnimation:
      ++totals.keptAnimations;
      break;
    case FileFate::keptOwnName:
    case FileFate::failed:
    case FileFate::notWritten:
      break;  // problems, counted as failed above
  }
}
