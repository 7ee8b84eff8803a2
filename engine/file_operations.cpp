#include <system_error>

#include "file_contents.h"
#include "image_optimizer.h"
#include "temp_file.h"

namespace fs = std::filesystem;

std::uint64_t ImageOptimizer::fileSize(const fs::path& file) {
  return fs::file_size(file);
}

ImageOptimizer::Failure ImageOptimizer::copyReplacing(const fs::path& source, const fs::path& destination) {
  std::error_code error;
  // Replacing a file by itself (the output holds a hard link to the source) would gain nothing and, done
  // the naive way, lose the source.
  if (fs::equivalent(source, destination, error))
    return std::nullopt;

  try {
    TempFile copy(destination.parent_path());
    error = copyFileContents(source, copy.path());
    if (!error)
      error = copy.commit(destination);
  } catch (const fs::filesystem_error& failure) {
    error = failure.code();
  }
  if (error)
    return error.message();
  return std::nullopt;
}
