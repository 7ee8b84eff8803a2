#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "image_optimizer.h"
#include "run_events.h"

class QObject;

// Runs the engine on one background thread per run. Every event, and at the end the run's result or
// error, travel to the receiver's thread as queued calls, first in, first out; once the receiver is
// destroyed nothing more is delivered. The worker touches nothing but the values it was given.
class RunController {
 public:
  struct Job {
    std::filesystem::path source;
    std::filesystem::path destination;
    ImageOptimizer::OutputMode mode;
  };
  // How a run ended: its totals, or the line that names the error that ended it.
  struct Ending {
    std::optional<ImageOptimizer::Result> result;
    std::string errorLine;
  };
  // What the controller runs; the engine itself unless a test puts a stand-in in its place.
  using Engine = std::function<ImageOptimizer::Result(const Job&, const RunEventHandler&, std::stop_token)>;
  using EventHandler = std::function<void(const RunEvent&)>;
  using FinishHandler = std::function<void(const Ending&)>;

  explicit RunController(QObject* receiver, Engine engine = runEngine);
  // Stops a run in progress after the files in hand and waits for it: no thread outlives the receiver.
  ~RunController() { stopAndWait(); }

  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  // Handlers run on the receiver's thread: onEvent for each event, then onFinished once.
  void start(Job job, EventHandler onEvent, FinishHandler onFinished);
  // The engine starts no new file and finishes the files in hand; the output then ends before the first
  // file that had not finished. It writes its deletion list for that and finishes as usual.
  void requestStop() { worker_.request_stop(); }
  void stopAndWait();

  static ImageOptimizer::Result runEngine(const Job& job, const RunEventHandler& events,
                                          std::stop_token stop);

 private:
  QObject* receiver_;
  Engine engine_;
  std::jthread worker_;
};
