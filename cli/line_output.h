#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Lines written straight to a file descriptor, each batch in one call, so that a pipe or a CI log
// shows them as they happen. The first failure (a closed pipe, a full disk, a terminal that went away)
// is kept and told once to the failure handler; whatever comes after it is dropped.
class LineOutput {
 public:
  using FailureHandler = std::function<void(int error)>;

  explicit LineOutput(int fd, FailureHandler onFailure = {}) : fd_(fd), onFailure_(std::move(onFailure)) {}

  void writeLines(const std::vector<std::string>& lines);
  void write(std::string_view text);

  // The errno of the first write that failed; 0 while everything went out.
  int error() const { return error_; }

 private:
  int fd_;
  FailureHandler onFailure_;
  int error_ = 0;
};
