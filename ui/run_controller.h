#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <set>
#include <stop_token>
#include <thread>

#include "image_optimizer.h"
#include "run_events.h"

// Runs the engine on a worker thread, which touches nothing but the values it was given, and emits what
// it reports on the controller's thread, in order: each event, then the totals or the error line.
class RunController : public QObject {
  Q_OBJECT

 public:
  struct Job {
    std::filesystem::path source;
    std::filesystem::path destination;
    ImageOptimizer::OutputMode mode;
    bool recursive = false;        // RunSettings::recursive: "Include subfolders"
    std::set<ExtraFormat> also{};  // RunSettings::also: "Also save AVIF versions"
  };
  // What the controller runs; the engine itself unless a test puts a stand-in in its place.
  using Engine = std::function<ImageOptimizer::Result(const Job&, const RunEventHandler&, std::stop_token)>;

  explicit RunController(Engine engine = runEngine, QObject* parent = nullptr)
      : QObject(parent), engine_(std::move(engine)) {}

  void start(Job job);
  // The engine starts no new file and finishes the files in hand (RunSettings::stop).
  void requestStop() { worker_.request_stop(); }
  // A run in progress stops after the files in hand; this returns once it has ended.
  void stopAndWait() { worker_ = std::jthread(); }  // the old worker is asked to stop and joined

  static ImageOptimizer::Result runEngine(const Job& job, const RunEventHandler& events,
                                          std::stop_token stop);

 signals:
  void reported(const RunEvent& event);
  void finished(const ImageOptimizer::Result& result);
  void failed(const QString& errorLine);

 private:
  Engine engine_;
  std::jthread worker_;  // stopped and joined with the controller too: no thread outlives it
};
