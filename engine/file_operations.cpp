#include <system_error>

#include "image_optimizer.h"
#include "temp_file.h"

namespace fs = std::filesystem;

std::uint64_t ImageOptimizer::fileSize(const fs::path& file) { return fs::file_size(file); }

ImageOptimizer::Failure ImageOptimizer::copyReplacing(const fs::path& source, const fs::path& destination) {
  std::error_code error;
  // Replacing a file by itself (the output holds a hard link to the source) would gain nothing and, done
  // the naive way, lose the source.
  if (fs::equivalent(source, destination, error)) return std::nullopt;

  try {
    TempFile copy(destination.parent_path());
    fs::copy_file(source, copy.path(), fs::copy_options::overwrite_existing, error);
    if (!error) error = copy.commit(destination);
    if (error) return error.message();
  } catch (const fs::filesystem_error& failure) {
    return failure.code().message();
  }
  return std::nullopt;
}
