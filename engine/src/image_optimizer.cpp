#include "image_optimizer.h"

#include <stdexcept>

#include "folder_run.h"
#include "image_work.h"
#include "output_folder.h"
#include "processor_count.h"
#include "run_log.h"
#include "run_plan.h"
#include "source_link_guard.h"
#include "source_listing.h"

namespace fs = std::filesystem;

namespace {

// The one place where a run ends with an error: what the run cannot go on without, thrown as the
// system reported it, with the path it concerns.
[[noreturn]] void endRun(const RunFailure& failure) {
  if (failure.error.code())
    throw fs::filesystem_error(failure.error.reason(), failure.where, failure.error.code());
  throw std::runtime_error(failure.error.reason());
}

// Writing into the source folder would replace source files by their own re-encoded or copied versions.
std::optional<RunFailure> refuseSameFolder(const fs::path& source, const fs::path& destination) {
  std::error_code error;  // a folder that does not exist yet is not the source folder
  if (!fs::equivalent(source, destination, error))
    return std::nullopt;
  return RunFailure{StepError::inWords("The output folder must be different from the source folder."),
                    destination};
}

StepError createFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  return error ? StepError::ofCode(error) : StepError();
}

// What the images in hand may need together, by their estimates (memoryToDecode), before another waits
// for its turn. Chosen by measurement on real photographs (bench/README.md): it keeps the peak of a run
// within 320 MiB at any number of jobs, however long the run and whichever images meet, while any two of
// the photos there go on at once. One image alone may still take up to the 1 GB that any image is
// allowed.
constexpr std::uint64_t memoryInFlight = 160ULL << 20;

Encoder imageLibraryEncoder(const WorkLimits& limits) {
  return [&limits](const SourceFile& input, const ImageHeader& header, TempFile& output) {
    return reencodeImage(input, header, output, ImageOptimizer::maxDimension, ImageOptimizer::jpegQuality,
                         limits);
  };
}

// Opens the output folder, lists the source folder and starts what the files need; the first failure
// ends the run before any file is handled.
struct RunSetUp {
  OutputFolder folder;
  SourceListing listing;
};

std::optional<RunFailure> setUp(const fs::path& source, const fs::path& destination, RunSetUp& run) {
  if (auto refused = refuseSameFolder(source, destination))
    return refused;
  if (const StepError error = createFolder(destination))
    return RunFailure{error, destination};
  StepError error;
  run.folder = OutputFolder::open(destination, error);
  if (error)
    return RunFailure{error, destination};
  if (const StepError busy = run.folder.lockForRun())
    return RunFailure{busy, destination};
  if (const StepError listing = listSourceFolder(source, run.listing))
    return RunFailure{listing, source};
  // Leftovers of a run that crashed would otherwise stay for good, and be uploaded with the folder.
  TempFile::removeLeftovers(run.folder.descriptor());
  if (run.listing.images.empty())
    return std::nullopt;
  // An output folder that takes no files is one error for the run, not two for every file.
  if (const StepError unwritable = run.folder.requireWritable())
    return RunFailure{unwritable, destination};
  if (const StepError unstarted = startImageLibrary())
    return RunFailure{unstarted, destination};
  return std::nullopt;
}

PlannedFile plannedFile(const FilePlan& plan, ImageOptimizer::OutputMode mode) {
  PlannedFile file{.number = plan.number,
                   .total = plan.total,
                   .name = plan.entry.name,
                   .handling = plan.handling,
                   .outputName = {},
                   .ownName = plan.ownName,
                   .nameTakenBy = plan.nameTakenBy,
                   .ownNameBlockedBy = plan.ownNameBlockedBy,
                   .listedForDeletion = false,
                   .bytes = plan.plannedSize};
  const bool writesOwnName =
      plan.handling != FileHandling::reencode &&
      (plan.handling != FileHandling::small || mode == ImageOptimizer::OutputMode::fullReplacement);
  if (plan.handling == FileHandling::reencode) {
    file.outputName = plan.writeName;
    file.listedForDeletion = plan.listedWhenConverted && plan.writeName == plan.convertedName;
  } else if (writesOwnName && plan.ownNameBlockedBy.empty()) {
    file.outputName = plan.entry.name;
  }
  return file;
}

}  // namespace

PlannedRun ImageOptimizer::plan(const fs::path& source, const fs::path& destination, OutputMode mode) {
  if (const auto refused = refuseSameFolder(source, destination))
    endRun(*refused);
  SourceListing listing;
  if (const StepError error = listSourceFolder(source, listing))
    endRun({error, source});
  PlannedRun planned;
  planned.subfolders = listing.subfolders;
  planned.caseIgnoringOutput = foldsCaseWithoutWriting(destination);
  for (const FilePlan& plan : planRun(listing.images, mode, planned.caseIgnoringOutput)) {
    if (plan.sizeError)
      endRun({StepError::ofCode(plan.sizeError), plan.entry.path});  // as the run would end there
    planned.files.push_back(plannedFile(plan, mode));
    if (planned.files.back().listedForDeletion)
      planned.deletionList.push_back(plan.entry.name);
  }
  return planned;
}

ImageOptimizer::Result ImageOptimizer::run(const fs::path& source, const fs::path& destination,
                                           OutputMode mode, const Progress& progress, std::stop_token stop) {
  const RunEventHandler toLines = [&progress](const RunEvent& event) {
    for (const std::string& line : run_log::linesOf(event))
      progress(line);
  };
  return run(source, destination, mode, toLines, RunSettings{std::move(stop)});
}

ImageOptimizer::Result ImageOptimizer::run(const fs::path& source, const fs::path& destination,
                                           OutputMode mode, const RunEventHandler& events,
                                           const RunSettings& settings) {
  RunSetUp setup;
  if (const std::optional<RunFailure> failure = setUp(source, destination, setup))
    endRun(*failure);
  const std::vector<SourceEntry>& entries = setup.listing.images;
  if (entries.empty()) {
    Result nothing;
    nothing.subfolders = setup.listing.subfolders;
    return nothing;
  }
  const WorkLimits limits{.stop = settings.stop};
  const SourceLinkGuard sourceLinks(entries);
  const RunContext context{mode,
                           &setup.folder,
                           &sourceLinks,
                           imageLibraryEncoder(limits),
                           DecodeLimits{.time = limits},
                           settings.skipUnchanged};
  const std::vector<FilePlan> plans = planRun(entries, mode, foldsCase(setup.folder));
  const unsigned processors = processorsAvailable();
  const unsigned jobs = settings.jobs == 0 ? processors : settings.jobs;
  setThreadsPerImage(static_cast<int>(processors / jobs));
  FolderRunOutcome outcome =
      FolderRun(plans, context, events, settings.stop, {.jobs = jobs, .memoryInFlight = memoryInFlight})
          .handleAll();
  if (outcome.failure)
    endRun(*outcome.failure);
  outcome.totals.subfolders = setup.listing.subfolders;
  return std::move(outcome.totals);
}
