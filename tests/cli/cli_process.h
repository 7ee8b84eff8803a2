#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The built tarvolin-cli as a child process, its standard output and error on pipes.
class CliProcess {
 public:
  struct Ending {
    int exitStatus = -1;  // -1 when a signal ended the process
    int endedBySignal = 0;
    std::string out;
    std::string err;
  };

  // `outputFile`: standard output goes there instead of to a pipe (/dev/full), or with closedOutput the
  // program starts with standard output closed (`>&-`).
  static inline const std::filesystem::path closedOutput = "<closed>";
  explicit CliProcess(const std::vector<std::string>& arguments,
                      const std::filesystem::path& workingFolder = {},
                      const std::filesystem::path& outputFile = {});
  // A process still running is killed: a failed test leaves nothing behind.
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // The next line of standard output; nothing once it has ended. Blocks until then: a hang is ended
  // by the test's time limit.
  std::optional<std::string> readLine();
  bool isRunning();
  // Closes the reading end of standard output, as `| head` does once it has its lines.
  void closeOutput();
  void sendSignal(int signal);
  // Reads standard output, then standard error, to their ends and waits for the process. The program
  // writes a line or two to standard error, far less than a pipe holds, so one never waits for the other.
  Ending finish();

  static Ending run(const std::vector<std::string>& arguments,
                    const std::filesystem::path& workingFolder = {});

 private:
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::size_t taken_ = 0;  // how much of out_ readLine has handed out
  std::optional<int> waitStatus_;
};

std::vector<std::string> linesOf(const std::string& text);
