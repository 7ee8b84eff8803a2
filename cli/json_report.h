#pragma once

#include "image_optimizer.h"
#include "line_output.h"
#include "planned_run.h"
#include "run_events.h"

// The run for scripts, as JSON Lines: one object per file as it is placed, then one with the summary.
// The keys and the outcome words are an interface; the manual page lists them.
class JsonReport {
 public:
  // `avif`: the run was asked for AVIF files; their keys are there only then, so that a run without
  // the option reports as it always did.
  JsonReport(LineOutput& out, bool avif) : out_(out), avif_(avif) {}

  void print(const RunEvent& event);
  // `stopSignal`: the signal that stopped the run, or 0.
  void printSummary(const ImageOptimizer::Result& result, int stopSignal);
  // A dry run: an object per planned file, then a summary with the names the deletion list would get.
  void printPlan(const PlannedRun& plan);

 private:
  LineOutput& out_;
  bool avif_;
};
