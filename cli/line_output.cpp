#include "line_output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

void LineOutput::writeLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + '\n';
  write(text);
}

void LineOutput::write(std::string_view text) {
  while (!text.empty() && error_ == 0) {
    const ssize_t written = ::write(fd_, text.data(), text.size());
    if (written < 0 && errno == EINTR)
      continue;
    // Standard output that another holder made non-blocking (some CI runners do) may be full, not
    // broken: wait for room.
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd room{fd_, POLLOUT, 0};
      if (poll(&room, 1, -1) >= 0 || errno == EINTR)
        continue;
    }
    if (written <= 0) {
      error_ = written < 0 ? errno : EIO;
      if (onFailure_)
        onFailure_(error_);
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}
