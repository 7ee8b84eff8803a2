#pragma once

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

// How one step below ImageOptimizer::run went: nothing wrong, or what went wrong as the system's code
// and, where the system's message would not do, plain words for the log. Steps return it; only the
// run decides whether a failure ends the run (a RunFailure, thrown as a RunError in one place).
class StepError {
 public:
  StepError() = default;

  static StepError ofCode(std::error_code code) { return StepError(code, {}); }
  static StepError ofErrno(int number = errno) { return ofCode({number, std::generic_category()}); }
  static StepError inWords(std::string words) { return StepError({}, std::move(words)); }
  // The run was asked to stop and the step was given up before it finished.
  static StepError ofStop(std::string words) {
    StepError error({}, std::move(words));
    error.stopped_ = true;
    return error;
  }

  explicit operator bool() const { return failed_; }
  bool stopped() const { return stopped_; }
  const std::error_code& code() const { return code_; }
  // The words the log shows after "could not …: ".
  std::string reason() const { return words_.empty() ? code_.message() : words_; }

 private:
  StepError(std::error_code code, std::string words) : failed_(true), code_(code), words_(std::move(words)) {}

  bool failed_ = false;
  bool stopped_ = false;
  std::error_code code_;
  std::string words_;
};

// What ends a run early: the error, and the file or folder it concerns. A value up to the one place
// where ImageOptimizer::run throws it.
struct RunFailure {
  StepError error;
  std::filesystem::path where;  // empty when the words name it already

  // "Permission denied: /home/ann/site/out".
  std::string description() const {
    return where.empty() ? error.reason() : error.reason() + ": " + where.string();
  }
};
