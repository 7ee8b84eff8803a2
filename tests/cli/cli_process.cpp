#include "cli_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

// Appends what one read gives; false at the end of the stream.
bool readInto(int fd, std::string& text) {
  char chunk[4096];
  const ssize_t count = read(fd, chunk, sizeof chunk);
  if (count < 0)
    throw std::runtime_error(std::string("read: ") + std::strerror(errno));
  text.append(chunk, static_cast<std::size_t>(count));
  return count > 0;
}

}  // namespace

CliProcess::CliProcess(const std::vector<std::string>& arguments, const std::filesystem::path& workingFolder,
                       const std::filesystem::path& outputFile) {
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe2 failed");
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&files, errPipe[1], STDERR_FILENO);
  if (outputFile == closedOutput)
    posix_spawn_file_actions_addclose(&files, STDOUT_FILENO);
  else if (!outputFile.empty())
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputFile.c_str(), O_WRONLY, 0);
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
  sigaddset(&stopSignals, SIGHUP);
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
  closeOutput();
  close(errFd_);
}

std::optional<std::string> CliProcess::readLine() {
  std::size_t end;
  while ((end = out_.find('\n', taken_)) == std::string::npos) {
    if (!readInto(outFd_, out_))
      return std::nullopt;
  }
  const std::string line = out_.substr(taken_, end - taken_);
  taken_ = end + 1;
  return line;
}

bool CliProcess::isRunning() {
  int status = 0;
  if (!waitStatus_ && waitpid(pid_, &status, WNOHANG) == pid_)
    waitStatus_ = status;
  return !waitStatus_;
}

void CliProcess::closeOutput() {
  if (outFd_ >= 0)
    close(outFd_);
  outFd_ = -1;
}

void CliProcess::sendSignal(int signal) {
  if (kill(pid_, signal) != 0)
    throw std::runtime_error(std::string("kill: ") + std::strerror(errno));
}

CliProcess::Ending CliProcess::finish() {
  Ending ending;
  while (outFd_ >= 0 && readInto(outFd_, out_)) {
  }
  while (readInto(errFd_, ending.err)) {
  }
  ending.out = out_;
  if (!waitStatus_) {
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_)
      throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    waitStatus_ = status;
  }
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
