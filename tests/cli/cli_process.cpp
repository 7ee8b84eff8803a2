#include "cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

CliProcess::CliProcess(const std::vector<std::string>& arguments,
                       const std::filesystem::path& workingFolder) {
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
    throwErrno("pipe2");
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&files, errPipe[1], STDERR_FILENO);
  if (!workingFolder.empty())
    posix_spawn_file_actions_addchdir_np(&files, workingFolder.c_str());
  // The test runner may have been started with the stop signals ignored or blocked; the program must
  // meet them as a terminal delivers them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &stopSignals);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> words{TARVOLIN_CLI};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  const int error = posix_spawn(&pid_, TARVOLIN_CLI, &files, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  close(outPipe[1]);
  close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  if (error != 0)
    throw std::runtime_error(std::string("cannot start " TARVOLIN_CLI ": ") + std::strerror(error));
}

CliProcess::~CliProcess() {
  if (!waitStatus_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0)
    close(outFd_);
  if (errFd_ >= 0)
    close(errFd_);
}

bool CliProcess::pump(std::chrono::steady_clock::time_point deadline) {
  pollfd streams[] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  const int ready = poll(streams, std::size(streams), static_cast<int>(std::max<long>(left.count(), 0)));
  if (ready < 0 && errno != EINTR)
    throwErrno("poll");
  if (ready <= 0)
    return ready < 0;  // interrupted: try again; timed out: tell the caller
  std::string* buffers[] = {&out_, &err_};
  int* fds[] = {&outFd_, &errFd_};
  for (std::size_t index = 0; index < std::size(streams); ++index) {
    if (streams[index].revents == 0)
      continue;
    char chunk[4096];
    const ssize_t count = read(*fds[index], chunk, sizeof chunk);
    if (count > 0) {
      buffers[index]->append(chunk, static_cast<std::size_t>(count));
    } else if (count == 0) {
      close(*fds[index]);
      *fds[index] = -1;  // poll leaves negative descriptors out
    }
  }
  return true;
}

std::optional<std::string> CliProcess::readLine(std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::size_t end = out_.find('\n', taken_);
    if (end != std::string::npos) {
      const std::string line = out_.substr(taken_, end - taken_);
      taken_ = end + 1;
      return line;
    }
    if (outFd_ < 0 || !pump(deadline))
      return std::nullopt;
  }
}

bool CliProcess::isRunning() {
  if (waitStatus_)
    return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_)
    waitStatus_ = status;
  return !waitStatus_;
}

void CliProcess::sendSignal(int signal) {
  if (kill(pid_, signal) != 0)
    throwErrno("kill");
}

CliProcess::Ending CliProcess::finish(std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (outFd_ >= 0 || errFd_ >= 0) {
    if (!pump(deadline))
      throw std::runtime_error("tarvolin-cli did not end within the time limit");
  }
  return waitForExit();
}

CliProcess::Ending CliProcess::waitForExit() {
  if (!waitStatus_) {
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_)
      throwErrno("waitpid");
    waitStatus_ = status;
  }
  Ending ending{-1, 0, out_, err_};
  if (WIFEXITED(*waitStatus_))
    ending.exitStatus = WEXITSTATUS(*waitStatus_);
  if (WIFSIGNALED(*waitStatus_))
    ending.endedBySignal = WTERMSIG(*waitStatus_);
  return ending;
}

CliProcess::Ending CliProcess::run(const std::vector<std::string>& arguments,
                                   const std::filesystem::path& workingFolder) {
  return CliProcess(arguments, workingFolder).finish();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}
