#include "standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

void reopenClosedStandardStreams() {
  for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(stream, F_GETFD) >= 0 || errno != EBADF)
      continue;
    // open() takes the lowest free number, which is this one, since the ones below it are open by now.
    const int reopened = open("/dev/null", stream == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (reopened >= 0 && reopened != stream) {
      dup2(reopened, stream);
      close(reopened);
    }
  }
}
