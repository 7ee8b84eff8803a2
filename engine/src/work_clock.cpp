#include "work_clock.h"

#include <string>

WorkClock::WorkClock(const WorkLimits& limits, Clock::duration spent)
    : limits_(limits), started_(Clock::now()), deadline_(started_ + limits.budget - spent) {}

bool WorkClock::expired() {
  const std::lock_guard lock(mutex_);
  const Clock::time_point now = Clock::now();
  if (limits_.stop.stop_requested()) {
    if (!stopSeen_) {
      stopSeen_ = true;
      stopDeadline_ = now + limits_.stopGrace;
    }
    if (now >= stopDeadline_) {
      expiry_ = Expiry::stopped;
      return true;
    }
  }
  if (now >= deadline_) {
    expiry_ = Expiry::tookTooLong;
    return true;
  }
  return false;
}

StepError WorkClock::failure() const {
  const std::lock_guard lock(mutex_);
  if (!expiry_)
    return {};
  if (*expiry_ == Expiry::stopped)
    return StepError::ofStop("the run was stopped before the image was finished");
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limits_.budget).count();
  return StepError::inWords("the image took too long to decode (more than " + std::to_string(seconds) +
                            " seconds)");
}
