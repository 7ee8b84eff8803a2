#include "temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string randomSuffix() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

}  // namespace

TempFile::TempFile(const fs::path& folder) {
  constexpr int attempts = 100;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    fs::path candidate = folder / (std::string(namePrefix) + randomSuffix() + ".tmp");
    // O_EXCL: never reuse or follow anything already there. Mode 0666 lets the umask decide, as for any
    // file the user's programs create.
    const int descriptor = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
      ::close(descriptor);
      path_ = std::move(candidate);
      return;
    }
    if (errno != EEXIST) {
      throw fs::filesystem_error("cannot create a temporary file", folder,
                                 std::error_code(errno, std::generic_category()));
    }
  }
  throw fs::filesystem_error("cannot create a temporary file", folder,
                             std::make_error_code(std::errc::file_exists));
}

TempFile::~TempFile() {
  if (committed_)
    return;
  std::error_code ignored;
  fs::remove(path_, ignored);
}

std::error_code TempFile::commit(const fs::path& finalPath) {
  std::error_code error;
  fs::rename(path_, finalPath, error);
  if (!error)
    committed_ = true;
  return error;
}
