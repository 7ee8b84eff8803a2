#include "run_controller.h"

#include <QMetaObject>

#include "run_log.h"

ImageOptimizer::Result RunController::runEngine(const Job& job, const RunEventHandler& events,
                                                std::stop_token stop) {
  return ImageOptimizer::run(
      job.source, job.destination, job.mode, events,
      RunSettings{.stop = std::move(stop), .recursive = job.recursive, .also = job.also});
}

void RunController::start(Job job) {
  stopAndWait();  // a finished worker may still be returning from its last post
  worker_ = std::jthread([this, engine = engine_, job = std::move(job)](std::stop_token stop) {
    // The one thread hop: from the worker to this object's thread, first in, first out. With this object
    // as the context, a call still queued when it is destroyed is dropped, not run.
    const auto post = [this](auto call) {
      QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    const RunEventHandler events = [this, &post](const RunEvent& event) {
      post([this, event] { emit reported(event); });
    };
    try {
      const ImageOptimizer::Result result = engine(job, events, stop);
      post([this, result] { emit finished(result); });
    } catch (const ImageOptimizer::RunError& error) {  // where a failed run becomes the line the user reads
      const QString line = QString::fromStdString(run_log::errorLine(error));
      post([this, line] { emit failed(line); });
    }
  });
}
