#include "run_controller.h"

#include <QMetaObject>
#include <QObject>

#include "run_summary.h"

void RunController::start(Job job, LineHandler onLine, FinishHandler onFinished) {
  stopAndWait();  // a finished worker may still be returning from its last post
  worker_ = std::jthread([receiver = receiver_, job = std::move(job), onLine = std::move(onLine),
                          onFinished = std::move(onFinished)](std::stop_token stop) {
    // The receiver as context object: a call still queued when it is destroyed is dropped, not run.
    const auto post = [receiver](auto call) {
      QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
    };
    const auto progress = [&](const std::string& line) {
      post([onLine, text = QString::fromStdString(line)] { onLine(text); });
    };
    QStringList closing;
    try {
      closing = summaryLines(ImageOptimizer::run(job.source, job.destination, job.mode, progress, stop));
    } catch (...) {
      closing = {errorLine(std::current_exception())};
    }
    post([onFinished, closing] { onFinished(closing); });
  });
}

void RunController::stopAndWait() {
  if (!worker_.joinable())
    return;
  worker_.request_stop();
  worker_.join();
}
