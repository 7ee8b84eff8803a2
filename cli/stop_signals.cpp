#include "stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <system_error>

namespace {

[[noreturn]] void throwLastError(const char* what) {
  throw std::system_error(errno, std::system_category(), what);
}

// A shell starts background jobs of a script with SIGINT ignored, and nohup-like wrappers ignore
// signals on purpose: a signal that was ignored when the program started stays ignored.
bool isIgnored(int signal) {
  struct sigaction action {};
  return sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
}

// Ends the process as the signal would have without this program: the caller's shell then sees the
// signal itself, not an exit status.
[[noreturn]] void endBy(int signal) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(signal, &byDefault, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  std::_Exit(128 + signal);  // not reached: the default action of these signals ends the process
}

}  // namespace

std::string signalName(int signal) {
  return std::string("SIG") + sigabbrev_np(signal);
}

StopSignals::StopSignals(std::stop_source stop) : stop_(std::move(stop)) {
  sigemptyset(&watched_);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (!isIgnored(signal))
      sigaddset(&watched_, signal);
  }
  if (const int error = pthread_sigmask(SIG_BLOCK, &watched_, nullptr))
    throw std::system_error(error, std::system_category(), "pthread_sigmask");
  signalFd_ = signalfd(-1, &watched_, SFD_CLOEXEC);
  if (signalFd_ < 0)
    throwLastError("signalfd");
  wakeFd_ = eventfd(0, EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    const int error = errno;
    close(signalFd_);
    throw std::system_error(error, std::system_category(), "eventfd");
  }
  try {
    watcher_ = std::thread([this] { watch(); });
  } catch (...) {
    close(wakeFd_);
    close(signalFd_);
    pthread_sigmask(SIG_UNBLOCK, &watched_, nullptr);
    throw;
  }
}

StopSignals::~StopSignals() {
  const std::uint64_t one = 1;
  // An eventfd takes 8 bytes at once or fails; should it fail, a thread left waiting would keep the
  // program from ending, so it is detached rather than joined.
  if (write(wakeFd_, &one, sizeof one) == sizeof one) {
    watcher_.join();
  } else {
    watcher_.detach();
  }
  close(wakeFd_);
  close(signalFd_);
}

void StopSignals::watch() {
  pollfd sources[] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  for (;;) {
    if (poll(sources, std::size(sources), -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (sources[1].revents != 0)
      return;
    signalfd_siginfo info{};
    if (read(signalFd_, &info, sizeof info) == sizeof info)
      onSignal(static_cast<int>(info.ssi_signo));
  }
}

void StopSignals::onSignal(int signal) {
  int none = 0;
  if (!received_.compare_exchange_strong(none, signal))
    endBy(signal);  // asked twice: the user does not want to wait for the files in hand
  stop_.request_stop();
  // Where the terminal has gone (SIGHUP), this line is lost; the run stops all the same.
  std::cerr << "tarvolin-cli: " << signalName(signal)
            << " received: stopping once the files in hand are finished; a second signal stops at once"
            << std::endl;
}
