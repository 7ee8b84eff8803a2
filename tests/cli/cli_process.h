#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The built tarvolin-cli, started as a child process with its standard output and error on pipes.
class CliProcess {
 public:
  struct Ending {
    int exitStatus = -1;  // -1 when a signal ended the process
    int endedBySignal = 0;
    std::string out;
    std::string err;
  };

  explicit CliProcess(const std::vector<std::string>& arguments,
                      const std::filesystem::path& workingFolder = {});
  // A process that is still running is killed: a failed test leaves nothing behind.
  ~CliProcess();

  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // The next line of standard output without its line feed; nothing when the output ended or the
  // timeout passed first.
  std::optional<std::string> readLine(std::chrono::seconds timeout);
  bool isRunning();
  void sendSignal(int signal);
  // Reads both streams to their end and waits for the process.
  Ending finish(std::chrono::seconds timeout = std::chrono::seconds(240));

  // Runs the program to its end.
  static Ending run(const std::vector<std::string>& arguments,
                    const std::filesystem::path& workingFolder = {});

 private:
  // Waits until either stream has something or ended, and takes it in; false on timeout.
  bool pump(std::chrono::steady_clock::time_point deadline);
  Ending waitForExit();

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
  std::size_t taken_ = 0;  // how much of out_ readLine has handed out
  std::optional<int> waitStatus_;
};

std::vector<std::string> linesOf(const std::string& text);
