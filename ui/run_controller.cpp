#include "run_controller.h"

#include <QMetaObject>
#include <QObject>

#include "run_log.h"

RunController::RunController(QObject* receiver, Engine engine)
    : receiver_(receiver), engine_(std::move(engine)) {}

ImageOptimizer::Result RunController::runEngine(const Job& job, const RunEventHandler& events,
                                                std::stop_token stop) {
  return ImageOptimizer::run(job.source, job.destination, job.mode, events, RunSettings{std::move(stop)});
}

void RunController::start(Job job, EventHandler onEvent, FinishHandler onFinished) {
  stopAndWait();  // a finished worker may still be returning from its last post
  worker_ = std::jthread([receiver = receiver_, engine = engine_, job = std::move(job),
                          onEvent = std::move(onEvent),
                          onFinished = std::move(onFinished)](std::stop_token stop) {
    // The receiver as context object: a call still queued when it is destroyed is dropped, not run.
    const auto post = [receiver](auto call) {
      QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
    };
    const RunEventHandler events = [&](const RunEvent& event) { post([onEvent, event] { onEvent(event); }); };
    Ending ending;
    try {
      ending.result = engine(job, events, stop);
    } catch (const ImageOptimizer::RunError& error) {
      ending.errorLine = run_log::errorLine(error);
    }
    post([onFinished, ending] { onFinished(ending); });
  });
}

void RunController::stopAndWait() {
  if (!worker_.joinable())
    return;
  worker_.request_stop();
  worker_.join();
}
