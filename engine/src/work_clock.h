#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <stop_token>

#include "step_error.h"

// How long one image may take, and what a stop of the run does to it.
struct WorkLimits {
  // Time the image may take in all: reading its structure, decoding and encoding.
  std::chrono::steady_clock::duration budget = std::chrono::seconds(60);
  // Once the run is asked to stop, an image in hand may take this much longer before it is given up.
  std::chrono::steady_clock::duration stopGrace = std::chrono::seconds(5);
  std::stop_token stop;
};

// Watches one image's time: asked whenever its file is read (by the header inspection or the decoder) and
// whenever the pipeline reports progress; possibly from several threads at once.
class WorkClock {
 public:
  using Clock = std::chrono::steady_clock;

  // `spent`: time the image has already taken, counted against its budget.
  explicit WorkClock(const WorkLimits& limits, Clock::duration spent = {});

  bool expired();
  Clock::duration elapsed() const { return Clock::now() - started_; }
  // Why the image was given up, in the words the log shows; no error while it has not expired.
  StepError failure() const;

 private:
  enum class Expiry { tookTooLong, stopped };

  const WorkLimits& limits_;
  const Clock::time_point started_;
  const Clock::time_point deadline_;
  mutable std::mutex mutex_;
  bool stopSeen_ = false;
  Clock::time_point stopDeadline_{};
  std::optional<Expiry> expiry_;
};
