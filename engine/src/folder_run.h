#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "file_job.h"
#include "image_optimizer.h"
#include "run_events.h"
#include "run_plan.h"

// One run over the planned files. Up to `jobs` files are prepared at once (the largest first, within a
// window ahead of the oldest unfinished file), but files are placed, counted and reported strictly in
// name order, each as soon as it and every file before it are done: the log, the output folder and the
// totals are those of a run that takes one file after another.
class FolderRun {
 public:
  // What ended a run early: the error, and the file it concerns.
  struct Ending {
    StepError error;
    std::filesystem::path file;
  };

  FolderRun(std::vector<FilePlan> plans, const RunContext& context, const RunEventHandler& events,
            const RunSettings& settings);
  ~FolderRun();

  // The totals of what was placed. When a file had gone, `ending` says so; the deletion list is written
  // for what was converted either way.
  ImageOptimizer::Result handleAll(std::optional<Ending>& ending);

 private:
  class Scheduler;

  void handleOneAtATime(std::optional<Ending>& ending);
  void handleInParallel(std::optional<Ending>& ending, unsigned workers);
  // Places a prepared file, counts it and reports its outcome.
  void finish(FileJob& job);
  void start(const FilePlan& plan);
  void writeDeletionList();

  std::vector<FilePlan> plans_;
  std::vector<std::unique_ptr<FileJob>> jobs_;
  const RunContext& context_;
  const RunEventHandler& events_;
  const RunSettings& settings_;
  ImageOptimizer::Result totals_;
};
