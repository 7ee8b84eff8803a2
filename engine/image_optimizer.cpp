#include "image_optimizer.h"

#include <stdexcept>

#include "folder_run.h"
#include "source_listing.h"
#include "temp_file.h"

namespace fs = std::filesystem;

namespace {

// Thrown before anything is written: writing into the source folder would replace source files by
// their own re-encoded or copied versions.
class SameFolderError : public std::invalid_argument {
 public:
  SameFolderError() : std::invalid_argument("The output folder must be different from the source folder.") {}
};

bool sameFolder(const fs::path& source, const fs::path& destination) {
  std::error_code error;  // a folder that does not exist yet is not the source folder
  return fs::equivalent(source, destination, error);
}

}  // namespace

ImageOptimizer::Result ImageOptimizer::run(const fs::path& source, const fs::path& destination,
                                           OutputMode mode, const Progress& progress, std::stop_token stop) {
  if (sameFolder(source, destination))
    throw SameFolderError();
  fs::create_directories(destination);
  std::vector<SourceEntry> entries = listImageEntries(source);
  // An output folder that takes no files is one error for the run, not two for every file.
  if (!entries.empty())
    TempFile probe(destination);
  FolderRun folderRun(std::move(entries), destination, mode, progress);
  return folderRun.handleAll(stop);
}
