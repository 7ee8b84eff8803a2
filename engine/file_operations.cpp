#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

#include "image_optimizer.h"
#include "temp_file.h"

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
  return {errno, std::generic_category()};
}

// Closes on scope exit; close errors matter only for the file written, which is closed explicitly.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0)
      ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return descriptor_; }
  bool valid() const { return descriptor_ >= 0; }
  std::error_code close() {
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0 ? std::error_code() : lastError();
  }

 private:
  int descriptor_;
};

std::error_code writeAll(int descriptor, const char* bytes, ssize_t count) {
  while (count > 0) {
    const ssize_t written = ::write(descriptor, bytes, static_cast<size_t>(count));
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0)
      return lastError();
    bytes += written;
    count -= written;
  }
  return {};
}

// A plain read/write loop: unlike std::filesystem::copy_file it reports the system's own reason
// ("No space left on device") rather than a generic input/output error. Keeps the permission bits.
std::error_code copyBytes(const fs::path& source, const fs::path& destination) {
  Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid())
    return lastError();
  struct stat status {};
  if (::fstat(in.get(), &status) != 0)
    return lastError();
  Descriptor out(::open(destination.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
  if (!out.valid())
    return lastError();

  std::array<char, 1 << 16> buffer{};
  for (;;) {
    const ssize_t count = ::read(in.get(), buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0)
      return lastError();
    if (count == 0)
      break;
    if (const std::error_code error = writeAll(out.get(), buffer.data(), count))
      return error;
  }
  if (::fchmod(out.get(), status.st_mode & 0777) != 0)
    return lastError();
  return out.close();
}

}  // namespace

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
    error = copyBytes(source, copy.path());
    if (!error)
      error = copy.commit(destination);
    if (error)
      return error.message();
  } catch (const fs::filesystem_error& failure) {
    return failure.code().message();
  }
  return std::nullopt;
}
