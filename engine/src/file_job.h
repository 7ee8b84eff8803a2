#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "image_header.h"
#include "image_optimizer.h"
#include "image_work.h"
#include "memory_budget.h"
#include "output_folder.h"
#include "run_events.h"
#include "run_plan.h"
#include "source_file.h"
#include "source_link_guard.h"
#include "step_error.h"
#include "temp_file.h"

// Re-encodes one inspected image into a temporary file; the run's own is reencodeImage, a test may
// put another in its place.
using Encoder = std::function<StepError(const SourceFile&, const ImageHeader&, TempFile&)>;

// What every file of a run shares.
struct RunContext {
  ImageOptimizer::OutputMode mode = ImageOptimizer::OutputMode::changedOnly;
  OutputFolder* folder = nullptr;
  const SourceLinkGuard* sourceLinks = nullptr;
  Encoder encoder;
  DecodeLimits decodeLimits;
  MemoryBudget* memory = nullptr;
};

// The work on one file, in two steps. prepare() does everything that takes time (reading, decoding,
// encoding, copying), into temporary files; it may run on any thread, alongside other files. place()
// then puts those files under their final names; the run calls it in name order, one file at a time,
// and the file's outcome is final only then. So a run writes the same files, in the same order, however
// many files are prepared at once.
class FileJob {
 public:
  FileJob(const FilePlan& plan, const RunContext& context);

  void prepare();
  FileOutcome place();

  // The source file was gone when its turn came: this ends the run, as a failure to read it.
  bool endsRun() const { return static_cast<bool>(runEnding_); }
  const StepError& runEndingError() const { return runEnding_; }

  // Whether its PNG was converted and so belongs on the deletion list; valid after place().
  bool convertedPng() const { return convertedPng_; }

 private:
  void prepareFile();
  void openSource();
  void prepareReencoding();
  void failReencoding(const StepError& reason);
  void prepareOriginal();
  void placeReencoded();
  void placeOriginal();
  void removeOlderConvertedFile();

  const FilePlan& plan_;
  const RunContext& context_;
  FileOutcome outcome_;
  StepError runEnding_;
  StepError openError_;
  std::optional<SourceFile> source_;
  TempFile reencoded_;
  TempFile original_;
  bool convertedPng_ = false;
};
