#include "image_optimizer.h"

#include <sys/stat.h>

#include <new>
#include <set>

#include "folder_run.h"
#include "image_work.h"
#include "machine_memory.h"
#include "memory_budget.h"
#include "name_claims.h"
#include "output_folder.h"
#include "processor_count.h"
#include "run_plan.h"
#include "source_link_guard.h"
#include "source_listing.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

// The one place where a run ends with an error, built from the failure's value.
[[noreturn]] void endRun(const RunFailure& failure) {
  throw ImageOptimizer::RunError(failure.description());
}

// Writing into the source folder would replace source files by their own re-encoded or copied versions.
std::optional<RunFailure> refuseSameFolder(const fs::path& source, const fs::path& destination) {
  std::error_code error;  // a folder that does not exist yet is not the source folder
  if (!fs::equivalent(source, destination, error))
    return std::nullopt;
  return RunFailure{StepError::inWords("The output folder must be different from the source folder."), {}};
}

StepError createFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  return error ? StepError::ofCode(error) : StepError();
}

Encoder imageLibraryEncoder(const WorkLimits& limits) {
  return [&limits](const SourceFile& input, const ImageHeader& header, TempFile& output) {
    return reencodeImage(input, header, output, ImageOptimizer::maxDimension, ImageOptimizer::jpegQuality,
                         limits);
  };
}

// Two of the names the run may write (own and converted) would be one on a drive that ignores case:
// only then does it matter whether the output folder does.
bool namesMeetWhenFolded(const std::vector<SourceEntry>& entries) {
  std::set<std::string> names;
  for (const SourceEntry& entry : entries) {
    names.insert(entry.name);
    names.insert(entry.base + ".jpg");
  }
  std::set<std::string> folded;
  for (const std::string& name : names) {
    if (!folded.insert(foldedName(name)).second)
      return true;
  }
  return false;
}

bool writesAnything(const Plan& plan, OutputMode mode) {
  return std::ranges::any_of(plan.files, [mode](const FilePlan& file) {
    return file.handling == FileHandling::reencode || file.writesOriginal(mode);
  });
}

bool reencodesAny(const Plan& plan) {
  return std::ranges::any_of(plan.files,
                             [](const FilePlan& file) { return file.handling == FileHandling::reencode; });
}

// Lists the source folder, then opens the output folder and plans every file; the first failure ends
// the run before any file is handled. A source folder that cannot be listed leaves nothing behind.
struct RunSetUp {
  OutputFolder folder;
  SourceListing listing;
  std::optional<SourceLinkGuard> sourceLinks;
  Plan plan;
};

// The source tree as a run looks at it: recursive, without the output folder where it lies inside.
StepError listSource(const fs::path& source, const fs::path& destination, const RunSettings& settings,
                     SourceListing& listing) {
  ListingScope scope{.recursive = settings.recursive, .outputFolder = std::nullopt};
  struct stat output {};
  if (settings.recursive && ::stat(destination.c_str(), &output) == 0)
    scope.outputFolder = FileIdentity{output.st_dev, output.st_ino};
  return listSourceFolder(source, listing, scope);
}

std::optional<RunFailure> setUp(const fs::path& source, const fs::path& destination, OutputMode mode,
                                const RunSettings& settings, RunSetUp& run) {
  if (auto refused = refuseSameFolder(source, destination))
    return refused;
  if (const StepError listing = listSource(source, destination, settings, run.listing))
    return RunFailure{listing, source};
  if (const StepError error = createFolder(destination))
    return RunFailure{error, destination};
  StepError error;
  run.folder = OutputFolder::open(destination, error);
  if (error)
    return RunFailure{error, destination};
  if (const StepError busy = run.folder.lockForRun())
    return RunFailure{busy, {}};
  run.folder.keepOutOf(run.listing.folders);
  // Leftovers of a run that crashed would otherwise stay for good, and be uploaded with the folder.
  TempFile::removeLeftovers(run.folder.descriptor());
  const std::vector<SourceEntry>& entries = run.listing.images;
  if (entries.empty())
    return std::nullopt;
  run.sourceLinks.emplace(entries);
  run.plan = planRun(entries, {.mode = mode,
                               .foldsCase = foldsCaseForRun(run.folder, namesMeetWhenFolded(entries)),
                               .folder = &run.folder,
                               .sourceLinks = &*run.sourceLinks,
                               .skipUnchanged = settings.skipUnchanged,
                               .recordSettings = recordSettings(mode)});
  // An output folder that takes no files is one error for the run, not two for every file; a run
  // that writes nothing does not try.
  if (writesAnything(run.plan, mode)) {
    if (const StepError unwritable = run.folder.requireWritable())
      return RunFailure{unwritable, destination};
  }
  if (reencodesAny(run.plan)) {
    if (const StepError unstarted = startImageLibrary())
      return RunFailure{unstarted, {}};
  }
  return std::nullopt;
}

FolderRunOutcome runInFolder(const fs::path& source, const fs::path& destination, OutputMode mode,
                             const RunEventHandler& events, const RunSettings& settings) {
  RunSetUp setup;
  if (std::optional<RunFailure> failure = setUp(source, destination, mode, settings, setup))
    return {.totals = {}, .failure = std::move(failure)};
  const WorkLimits limits{.stop = settings.stop};
  for (const auto& [name, reason] : setup.listing.unreadable)
    events(FolderNotRead{name, reason});
  const RunContext context{.mode = mode,
                           .folder = &setup.folder,
                           .sourceFolder = setup.listing.root.get(),
                           .sourceLinks = setup.sourceLinks ? &*setup.sourceLinks : nullptr,
                           .encoder = imageLibraryEncoder(limits),
                           .decodeLimits = DecodeLimits{.time = limits},
                           .recordSettings = recordSettings(mode)};
  const unsigned processors = processorsAvailable();
  const unsigned jobs = settings.jobs == 0 ? processors : settings.jobs;
  setThreadsPerImage(static_cast<int>(processors / jobs));
  const std::uint64_t memoryInFlight =
      memoryForImages(settings.machineMemory != 0 ? settings.machineMemory : memoryAvailable());
  FolderRunOutcome outcome;
  if (!setup.plan.files.empty()) {
    outcome = FolderRun(setup.plan.files, context, events, settings.stop,
                        {.jobs = jobs, .memoryInFlight = memoryInFlight})
                  .handleAll();
  }
  ImageOptimizer::Result& totals = outcome.totals;
  totals.subfolders = setup.listing.subfolders;
  totals.recursive = settings.recursive;
  for (const auto& [name, reason] : setup.listing.unreadable)
    totals.foldersNotRead.push_back({name, reason});
  totals.leftOut = setup.listing.leftOut;
  totals.recordsUnavailable =
      settings.skipUnchanged && (setup.plan.recordsUnavailable || outcome.recordsUnsupported);
  return outcome;
}

}  // namespace

PlannedRun ImageOptimizer::plan(const fs::path& source, const fs::path& destination, OutputMode mode,
                                const RunSettings& settings) {
  if (const auto refused = refuseSameFolder(source, destination))
    endRun(*refused);
  SourceListing listing;
  if (const StepError error = listSource(source, destination, settings, listing))
    endRun({error, source});
  OutputFolder folder = OutputFolder::openToLookAt(destination);
  folder.keepOutOf(listing.folders);
  const SourceLinkGuard sourceLinks(listing.images);
  PlannedRun planned;
  planned.subfolders = listing.subfolders;
  planned.recursive = settings.recursive;
  planned.leftOut = listing.leftOut;
  for (const auto& [name, reason] : listing.unreadable)
    planned.foldersNotRead.push_back({name, reason});
  planned.caseIgnoringOutput = foldsCaseWithoutWriting(destination);
  const Plan plan = planRun(listing.images, {.mode = mode,
                                             .foldsCase = planned.caseIgnoringOutput,
                                             .folder = &folder,
                                             .sourceLinks = &sourceLinks,
                                             .skipUnchanged = settings.skipUnchanged,
                                             .recordSettings = recordSettings(mode)});
  planned.recordsUnavailable = plan.recordsUnavailable;
  for (const FilePlan& file : plan.files) {
    if (file.statusError)
      endRun({StepError::ofCode(file.statusError), file.entry.path});  // as the run would end there
    planned.files.push_back(file);
    if (file.listedForDeletion)
      planned.deletionList.push_back(file.name);
  }
  return planned;
}

ImageOptimizer::Result ImageOptimizer::run(const fs::path& source, const fs::path& destination,
                                           OutputMode mode, const RunEventHandler& events,
                                           const RunSettings& settings) {
  FolderRunOutcome outcome;
  try {
    outcome = runInFolder(source, destination, mode, events, settings);
  } catch (const std::bad_alloc&) {
    outcome.failure = RunFailure{StepError::inWords("Not enough memory to continue."), {}};
  }
  if (outcome.failure)
    endRun(*outcome.failure);
  return std::move(outcome.totals);
}

std::string ImageOptimizer::imageLibraryVersion() {
  return ::imageLibraryVersion();
}
