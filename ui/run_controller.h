#pragma once

#include <QStringList>
#include <filesystem>
#include <functional>
#include <thread>

#include "image_optimizer.h"

class QObject;

// Runs the engine on one background thread per run. Every progress line, and at the end the closing
// lines, travel to the receiver's thread as queued calls, first in, first out; once the receiver is
// destroyed nothing more is delivered. The worker touches nothing but the values it was given.
class RunController {
 public:
  struct Job {
    std::filesystem::path source;
    std::filesystem::path destination;
    ImageOptimizer::OutputMode mode;
  };
  using LineHandler = std::function<void(const QString&)>;
  using FinishHandler = std::function<void(const QStringList&)>;

  explicit RunController(QObject* receiver) : receiver_(receiver) {}
  // Stops a run in progress after the file in hand and waits for it: no thread outlives the receiver.
  ~RunController() { stopAndWait(); }

  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  // Handlers run on the receiver's thread: onLine for each progress line, then onFinished once with
  // the summary or the error line.
  void start(Job job, LineHandler onLine, FinishHandler onFinished);
  // The engine stops between files, writes its deletion list for what it converted, and finishes as usual.
  void requestStop() { worker_.request_stop(); }
  void stopAndWait();

 private:
  QObject* receiver_;
  std::jthread worker_;
};
