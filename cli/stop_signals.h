#pragma once

#include <signal.h>

#include <atomic>
#include <stop_token>
#include <string>
#include <thread>

// Turns Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal or the ssh session went away) into a request
// to stop the run: no new file is started and the files in hand are finished. A second one ends the
// program at once, the way the signal does by default.
//
// The signals are blocked and read from a signalfd on a thread of its own, so that nothing runs in a
// signal handler. Create it before any other thread: threads inherit the blocked signals from the one
// that starts them, and a thread that did not block them would be killed by them instead.
class StopSignals {
 public:
  // Asks `stop` to stop on the first signal; others (a failed output) may ask it too.
  explicit StopSignals(std::stop_source stop);
  // Ends the watching thread; signals stay blocked, since the engine's threads may still be running.
  ~StopSignals();

  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal that asked for the stop, or 0 when none did.
  int received() const { return received_.load(); }

 private:
  void watch();
  void onSignal(int signal);

  sigset_t watched_{};
  int signalFd_ = -1;
  int wakeFd_ = -1;  // written when the program ends, to end the watching thread
  std::stop_source stop_;
  std::atomic<int> received_{0};
  std::thread watcher_;
};

// "SIGTERM".
std::string signalName(int signal);
