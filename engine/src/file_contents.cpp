#include "file_contents.h"

#include <unistd.h>

#include <array>
#include <cerrno>

int writeAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0)
      return errno;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

StepError copyContents(const SourceFile& source, TempFile& destination) {
  std::array<char, 1 << 16> buffer{};
  for (std::uint64_t offset = 0;;) {
    const long long count = source.readAt(offset, buffer.data(), buffer.size());
    if (count < 0)
      return StepError::ofErrno();
    if (count == 0)
      break;
    if (const int error =
            writeAll(destination.descriptor(), {buffer.data(), static_cast<std::size_t>(count)}))
      return StepError::ofErrno(error);
    offset += static_cast<std::uint64_t>(count);
  }
  return {};
}

StepError writeContents(TempFile& destination, std::string_view bytes) {
  const int error = writeAll(destination.descriptor(), bytes);
  return error != 0 ? StepError::ofErrno(error) : StepError();
}
