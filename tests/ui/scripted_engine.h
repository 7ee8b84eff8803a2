#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "run_controller.h"

// An engine stand-in for the window's tests: its worker reports the events the test wrote for it, each
// only once the test has released it, optionally waits for the stop, reports the files it had in hand,
// and returns the test's result or throws the test's error. Nothing in it depends on timing: the test
// decides how far the worker gets.
class ScriptedEngine {
 public:
  struct Script {
    std::vector<RunEvent> events{};
    // After `events`, the run waits until it is asked to stop, then reports `inHand`: what the real
    // engine does with the files it had started when the stop came.
    bool waitsForStop = false;
    std::vector<RunEvent> inHand{};
    // Returned, or when absent, `error` is thrown.
    std::optional<ImageOptimizer::Result> result = ImageOptimizer::Result{};
    std::string error = "the stand-in engine failed";
  };

  // Without a call of release(), every event is reported at once.
  explicit ScriptedEngine(Script script) : state_(std::make_shared<State>(std::move(script))) {}

  // From now on the worker reports only the events the test releases, and returns only on one release
  // more than it has events; a run that waits for the stop then waits for one release more.
  void hold() {
    const std::lock_guard lock(state_->mutex);
    state_->released = 0;
  }
  void release(std::size_t count = 1) {
    {
      const std::lock_guard lock(state_->mutex);
      if (state_->released != unheld)
        state_->released += count;
    }
    state_->changed.notify_all();
  }

  // What the window hands to its run controller; it shares this object's state.
  RunController::Engine engine() const {
    return [state = state_](const RunController::Job&, const RunEventHandler& report, std::stop_token stop) {
      return state->run(report, std::move(stop));
    };
  }

  bool stopSeen() const { return state_->stopSeen; }
  bool returned() const { return state_->returned; }
  std::thread::id workerThread() const {
    const std::lock_guard lock(state_->mutex);
    return state_->workerThread;
  }

  static FileStarted started(std::size_t number, std::size_t total, std::string name) {
    return {number, total, std::move(name)};
  }
  static FilesFinished finished(std::size_t count, std::size_t total) { return {count, total}; }
  // A file that became a smaller JPEG, as every file of these scripts does unless the test says otherwise.
  static FileOutcome reencoded(std::size_t number, std::size_t total, std::string name,
                               std::uint64_t bytesBefore = 2000000, std::uint64_t bytesAfter = 200000) {
    FileOutcome outcome;
    outcome.number = number;
    outcome.total = total;
    outcome.name = std::move(name);
    outcome.fate = FileFate::reencoded;
    outcome.bytesBefore = bytesBefore;
    outcome.bytesAfter = bytesAfter;
    return outcome;
  }

 private:
  static constexpr std::size_t unheld = std::numeric_limits<std::size_t>::max();
  // Long enough never to end a passing test; it only turns a window that never asks for the stop into a
  // failed check instead of a hung test.
  static constexpr std::chrono::seconds patience{60};

  struct State {
    explicit State(Script s) : script(std::move(s)) {}

    ImageOptimizer::Result run(const RunEventHandler& report, std::stop_token stop) {
      {
        const std::lock_guard lock(mutex);
        workerThread = std::this_thread::get_id();
      }
      for (std::size_t index = 0; index < script.events.size(); ++index) {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, stop, patience, [&] { return released > index; }))
          break;  // stopped (or never released): like the engine, start nothing more
        lock.unlock();
        report(script.events[index]);
      }
      {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, stop, patience, [&] { return released > script.events.size(); });
      }
      if (script.waitsForStop) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, stop, patience, [] { return false; });
        stopSeen = stop.stop_requested();
        // Held, the files in hand take until one more release: the test sees the window while it stops.
        const std::size_t atStop = released;
        changed.wait_for(lock, patience, [&] { return atStop == unheld || released > atStop; });
        lock.unlock();
        for (const RunEvent& event : script.inHand)
          report(event);
      }
      returned = true;
      if (!script.result)
        throw ImageOptimizer::RunError(script.error);
      return *script.result;
    }

    const Script script;
    mutable std::mutex mutex;
    std::condition_variable_any changed;
    std::size_t released = unheld;
    std::thread::id workerThread;
    std::atomic<bool> stopSeen = false;
    std::atomic<bool> returned = false;
  };

  std::shared_ptr<State> state_;
};
