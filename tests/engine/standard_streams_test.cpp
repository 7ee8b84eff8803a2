// A program started with standard output and error closed: what it opens next must not take their
// numbers, and writing to them must fail as on the closed descriptors.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "standard_streams.h"

TEST(StandardStreamsTest, ClosedStreamsAreHeldSoThatNothingOpenedLaterTakesTheirNumbers) {
  const pid_t child = fork();  // which may close its own streams; its exit status says what went wrong
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    reopenClosedStandardStreams();
    if (open("/dev/zero", O_RDONLY) <= STDERR_FILENO)
      _exit(1);
    _exit(write(STDOUT_FILENO, "x", 1) == -1 && errno == EBADF && write(STDERR_FILENO, "x", 1) == -1 ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}
