#include "file_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
  return {errno, std::generic_category()};
}

// Closes on scope exit; only the written file's close is checked, explicitly, as that is where a network
// file system reports a failed write.
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

std::error_code writeAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0)
      return lastError();
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

Descriptor openForWriting(const fs::path& destination) {
  return Descriptor(::open(destination.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
}

}  // namespace

std::error_code copyFileContents(const fs::path& source, const fs::path& destination) {
  Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid())
    return lastError();
  struct stat status {};
  if (::fstat(in.get(), &status) != 0)
    return lastError();
  Descriptor out = openForWriting(destination);
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
    if (const std::error_code error = writeAll(out.get(), {buffer.data(), static_cast<std::size_t>(count)}))
      return error;
  }
  if (::fchmod(out.get(), status.st_mode & 0777) != 0)
    return lastError();
  return out.close();
}

std::error_code writeFileContents(const fs::path& destination, std::string_view bytes) {
  Descriptor out = openForWriting(destination);
  if (!out.valid())
    return lastError();
  if (const std::error_code error = writeAll(out.get(), bytes))
    return error;
  return out.close();
}
