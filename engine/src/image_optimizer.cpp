#include "image_optimizer.h"

#include <stdexcept>

#include "folder_run.h"
#include "image_work.h"
#include "memory_budget.h"
#include "output_folder.h"
#include "run_log.h"
#include "run_plan.h"
#include "source_link_guard.h"
#include "source_listing.h"

namespace fs = std::filesystem;

namespace {

// The one place where a run ends with an error: what the run cannot go on without, thrown as the
// system reported it, with the path it concerns.
[[noreturn]] void endRun(const StepError& error, const fs::path& where) {
  if (error.code())
    throw fs::filesystem_error(error.reason(), where, error.code());
  throw std::runtime_error(error.reason());
}

bool sameFolder(const fs::path& source, const fs::path& destination) {
  std::error_code error;  // a folder that does not exist yet is not the source folder
  return fs::equivalent(source, destination, error);
}

StepError createFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  return error ? StepError::ofCode(error) : StepError();
}

// What the images in hand may need together, by their estimates, before another waits for its turn: enough
// for two ordinary photos at once, while two that are decoded whole (large progressive JPEGs) take turns.
// Measured on real photographs, it keeps the peak of a run flat however long the run and whichever
// images meet, at no cost in time (bench/README.md). One image alone may still take up to the 1 GiB
// that any image is allowed.
constexpr std::uint64_t memoryInFlight = 192ULL << 20;

Encoder imageLibraryEncoder(const WorkLimits& limits) {
  return [&limits](const SourceFile& input, const ImageHeader& header, TempFile& output) {
    return reencodeImage(input, header, output, ImageOptimizer::maxDimension, ImageOptimizer::jpegQuality,
                         limits);
  };
}

}  // namespace

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
  // Writing into the source folder would replace source files by their own re-encoded or copied versions.
  if (sameFolder(source, destination))
    endRun(StepError::inWords("The output folder must be different from the source folder."), destination);
  if (const StepError error = createFolder(destination))
    endRun(error, destination);
  StepError error;
  OutputFolder folder = OutputFolder::open(destination, error);
  if (error)
    endRun(error, destination);
  if (const StepError busy = folder.lockForRun())
    endRun(busy, destination);
  std::vector<SourceEntry> entries;
  if (const StepError listing = listImageEntries(source, entries))
    endRun(listing, source);
  // Leftovers of a run that crashed would otherwise stay for good, and be uploaded with the folder.
  TempFile::removeLeftovers(folder.descriptor());
  if (entries.empty())
    return {};
  // An output folder that takes no files is one error for the run, not two for every file.
  if (const StepError unwritable = folder.requireWritable())
    endRun(unwritable, destination);
  if (const StepError unstarted = startImageLibrary())
    endRun(unstarted, destination);

  const WorkLimits limits{.stop = settings.stop};
  MemoryBudget memory(memoryInFlight);
  const SourceLinkGuard sourceLinks(entries);
  const RunContext context{
      mode, &folder, &sourceLinks, imageLibraryEncoder(limits), DecodeLimits{.time = limits}, &memory};
  FolderRun folderRun(planRun(entries, mode, foldsCase(folder)), context, events, settings);
  std::optional<FolderRun::Ending> ending;
  Result result = folderRun.handleAll(ending);
  if (ending)
    endRun(ending->error, ending->file);
  return result;
}
