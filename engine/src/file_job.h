#pragma once

#include <functional>
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

// With AVIF asked for: the image work that writes a JPEG and its AVIF from one decode, and the one that
// writes the AVIF of a JPEG copied unchanged. Unset, only JPEGs are made.
struct AvifEncoders {
  std::function<StepError(const SourceFile&, const ImageHeader&, TempFile&, AvifRequest&)> withJpeg;
  std::function<StepError(const SourceFile&, const ImageHeader&, TempFile&)> alone;
  explicit operator bool() const { return static_cast<bool>(withJpeg); }
};

// What every file of a run shares.
struct RunContext {
  ImageOptimizer::OutputMode mode = ImageOptimizer::OutputMode::changedOnly;
  OutputFolder* folder = nullptr;
  int sourceFolder = -1;  // the source folder's descriptor: every file's name is relative to it
  const SourceLinkGuard* sourceLinks = nullptr;
  Encoder encoder;
  DecodeLimits decodeLimits;
  std::string recordSettings;  // what each output's record says of the settings (recordSettings)
  // A re-run that leaves unchanged files alone also removes what earlier runs made for a file under
  // the name it no longer takes.
  bool skipUnchanged = false;
  // What earlier runs made that this run does not: removed before any file is placed.
  const std::vector<OutputRemoved>* staleOutputs = nullptr;
  AvifEncoders avif{};
};

// One file, worked on and ready to be placed: its outcome as far as it is known, and the temporary
// files that hold what goes into the output folder. Dropping it removes them.
struct PreparedFile {
  const FilePlan* plan = nullptr;
  FileOutcome outcome;
  TempFile reencoded;  // for plan->reencodeName
  TempFile original;   // for the entry's own name
  TempFile avif;       // for the AVIF beside whichever of the two is placed
  // The source entry had gone when its turn came: the run ends at this file.
  StepError runEnding;
  // The run was stopped before this file's work was done: nothing of it may be placed.
  bool unfinished = false;
  // The output drive keeps no record of what a file was made from.
  bool recordsUnsupported = false;
  // Why an output could not be given its record, where the drive keeps records.
  std::string recordFailure;
};

// The work on one file, in two steps, so that a run writes the same files in the same order however
// many files are prepared at once. Both carry out the plan; neither decides a name.
//
// prepare() does everything that takes time (reading, inspecting, encoding, copying) into temporary
// files, on any thread, alongside other files; `memory` is leased for the decoding.
PreparedFile prepare(const FilePlan& plan, const RunContext& context, MemoryBudget& memory);

// place() puts the prepared files under their final names and returns the file's final outcome. It
// only names and removes entries, never copies: the run calls it on its one coordinating thread, in
// name order.
FileOutcome place(PreparedFile&& prepared, const RunContext& context);
