#include "image_optimizer.h"

#include <sys/stat.h>

#include <new>
#include <set>

#include "deletion_list.h"
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
#include "stale_outputs.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

// The one place where a run ends with an error, built from the failure's value.
[[noreturn]] void endRun(const RunFailure& failure) {
  throw ImageOptimizer::RunError(failure.description());
}

// Whatever else a run meets on its way out (a thread that cannot be started, memory that runs out)
// ends it as its one error, in a line of its own words.
RunFailure failureOf(const std::exception_ptr& thrown) {
  try {
    std::rethrow_exception(thrown);
  } catch (const std::bad_alloc&) {
    return {StepError::inWords("Not enough memory to continue."), {}};
  } catch (const ImageOptimizer::RunError& error) {
    return {StepError::inWords(error.what()), {}};
  } catch (const std::exception& error) {
    return {StepError::inWords(error.what()), {}};
  } catch (...) {
    return {StepError::inWords("The run ended on an unknown error."), {}};
  }
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

bool wantsAvif(const RunSettings& settings) {
  return settings.also.contains(ExtraFormat::avif);
}

AvifEncoders imageLibraryAvif(const WorkLimits& limits) {
  return {
      .withJpeg =
          [&limits](const SourceFile& input, const ImageHeader& header, TempFile& output, AvifRequest& avif) {
            return reencodeImageWithAvif(input, header, output, avif, ImageOptimizer::maxDimension,
                                         ImageOptimizer::jpegQuality, limits);
          },
      .alone =
          [&limits](const SourceFile& input, const ImageHeader& header, TempFile& output) {
            return avifOfImage(input, header, output, ImageOptimizer::maxDimension, limits);
          }};
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

// An AVIF of a copied JPEG is image work too.
bool reencodesAny(const Plan& plan) {
  return std::ranges::any_of(plan.files, [](const FilePlan& file) {
    return file.handling == FileHandling::reencode ||
           (file.handling != FileHandling::unchanged && !file.avifName.empty());
  });
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
  run.sourceLinks.emplace(entries);
  const bool foldsCase = foldsCaseForRun(run.folder, namesMeetWhenFolded(entries));
  if (settings.skipUnchanged)
    run.folder.lookThrough(outputsWhereFoldersGo(run.folder, run.listing.folderNames));
  run.plan = planRun(entries, {.mode = mode,
                               .foldsCase = foldsCase,
                               .folder = &run.folder,
                               .sourceLinks = &*run.sourceLinks,
                               .skipUnchanged = settings.skipUnchanged,
                               .recordSettings = recordSettings(mode, wantsAvif(settings)),
                               .recursive = settings.recursive,
                               .avif = wantsAvif(settings),
                               .sourceFolders = &run.listing.folderNames});
  if (settings.skipUnchanged)
    run.plan.removals = findStaleOutputs(run.folder, run.plan.files, settings.recursive, foldsCase);
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
                           .recordSettings = recordSettings(mode, wantsAvif(settings)),
                           .skipUnchanged = settings.skipUnchanged,
                           .staleOutputs = &setup.plan.removals,
                           .avif = wantsAvif(settings) ? imageLibraryAvif(limits) : AvifEncoders{}};
  const unsigned processors = processorsAvailable();
  const unsigned jobs = jobsWithinDescriptorLimit(settings.jobs == 0 ? processors : settings.jobs);
  setThreadsPerImage(static_cast<int>(processors / jobs));
  const std::uint64_t memoryInFlight =
      memoryForImages(settings.machineMemory != 0 ? settings.machineMemory : memoryAvailable());
  FolderRunOutcome outcome = FolderRun(setup.plan.files, context, events, settings.stop,
                                       {.jobs = jobs, .memoryInFlight = memoryInFlight})
                                 .handleAll();
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

namespace {

PlannedRun planOf(const fs::path& source, const fs::path& destination, OutputMode mode,
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
  if (settings.skipUnchanged)
    folder.lookThrough(outputsWhereFoldersGo(folder, listing.folderNames));
  const Plan plan = planRun(listing.images, {.mode = mode,
                                             .foldsCase = planned.caseIgnoringOutput,
                                             .folder = &folder,
                                             .sourceLinks = &sourceLinks,
                                             .skipUnchanged = settings.skipUnchanged,
                                             .recordSettings = recordSettings(mode, wantsAvif(settings)),
                                             .recursive = settings.recursive,
                                             .avif = wantsAvif(settings),
                                             .sourceFolders = &listing.folderNames});
  planned.recordsUnavailable = plan.recordsUnavailable;
  if (settings.skipUnchanged)
    planned.removals = findStaleOutputs(folder, plan.files, settings.recursive, planned.caseIgnoringOutput);
  for (const FilePlan& file : plan.files) {
    if (file.statusError)
      endRun({StepError::ofCode(file.statusError), file.entry.path});  // as the run would end there
    planned.files.push_back(file);
    if (file.listedForDeletion)
      planned.deletionList.push_back(file.name);
  }
  planned.removesDeletionList = planned.deletionList.empty() && holdsDeletionList(folder);
  return planned;
}

}  // namespace

PlannedRun ImageOptimizer::plan(const fs::path& source, const fs::path& destination, OutputMode mode,
                                const RunSettings& settings) {
  try {
    return planOf(source, destination, mode, settings);
  } catch (const RunError&) {
    throw;
  } catch (...) {
    endRun(failureOf(std::current_exception()));
  }
}

ImageOptimizer::Result ImageOptimizer::run(const fs::path& source, const fs::path& destination,
                                           OutputMode mode, const RunEventHandler& events,
                                           const RunSettings& settings) {
  FolderRunOutcome outcome;
  try {
    outcome = runInFolder(source, destination, mode, events, settings);
  } catch (...) {
    outcome.failure = failureOf(std::current_exception());
  }
  if (outcome.failure)
    endRun(*outcome.failure);
  return std::move(outcome.totals);
}

std::string ImageOptimizer::imageLibraryVersion() {
  return ::imageLibraryVersion();
}
