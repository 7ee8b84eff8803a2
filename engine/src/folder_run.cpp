#include "folder_run.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "deletion_list.h"

namespace {

// How far ahead of the oldest unfinished file a worker may start another. It bounds the files that
// wait, prepared, for their turn to be placed (two open temporary files each at the most), while
// leaving room to start the largest files first, so that no large file is left running alone at the end.
constexpr std::size_t lookahead = 32;

}  // namespace

// Hands the files to the workers, and tells the coordinator when each has started and is prepared.
class FolderRun::Scheduler {
 public:
  Scheduler(std::vector<std::unique_ptr<FileJob>>& jobs, const std::vector<FilePlan>& plans,
            std::stop_token stop)
      : jobs_(jobs),
        plans_(plans),
        stop_(std::move(stop)),
        started_(jobs.size()),
        prepared_(jobs.size()),
        wakeOnStop_(stop_, [this] {
          const std::lock_guard lock(mutex_);
          changed_.notify_all();
        }) {}

  // A worker's loop: prepares files until none is left or no more may start.
  void work() {
    while (const auto index = nextToStart())
      prepare(*index);
  }

  // Waits until the file at `index` has started, or until it never will (false).
  bool waitUntilStarted(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return started_[index] || mayNotStart(); });
    return started_[index];
  }
  void waitUntilPrepared(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return prepared_[index]; });
  }
  // The oldest unfinished file has moved on: the window of files that may start moves with it.
  void advance(std::size_t head) {
    {
      const std::lock_guard lock(mutex_);
      head_ = head;
    }
    changed_.notify_all();
  }
  // No file may start any more: the run ends early.
  void close() {
    {
      const std::lock_guard lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
  }
  bool started(std::size_t index) {
    const std::lock_guard lock(mutex_);
    return started_[index];
  }

 private:
  bool mayNotStart() const { return closed_ || stop_.stop_requested(); }

  // The oldest unfinished file first, so that the log never waits for it; after it the largest within
  // the window, so that no large file is left running alone at the end.
  std::optional<std::size_t> nextToStart() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (mayNotStart())
        return std::nullopt;
      const std::size_t end = std::min(jobs_.size(), head_ + lookahead);
      std::optional<std::size_t> next;
      for (std::size_t index = head_; index < end && !(next && *next == head_); ++index) {
        if (!started_[index] &&
            (!next || index == head_ || plans_[index].plannedSize > plans_[*next].plannedSize))
          next = index;
      }
      if (next) {
        started_[*next] = true;
        changed_.notify_all();
        return next;
      }
      if (end == jobs_.size())
        return std::nullopt;  // every file has started
      changed_.wait(lock);
    }
  }

  void prepare(std::size_t index) {
    jobs_[index]->prepare();
    {
      const std::lock_guard lock(mutex_);
      prepared_[index] = true;
    }
    changed_.notify_all();
  }

  std::vector<std::unique_ptr<FileJob>>& jobs_;
  const std::vector<FilePlan>& plans_;
  const std::stop_token stop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<bool> started_;
  std::vector<bool> prepared_;
  std::size_t head_ = 0;
  bool closed_ = false;
  std::stop_callback<std::function<void()>> wakeOnStop_;
};

FolderRun::FolderRun(std::vector<FilePlan> plans, const RunContext& context, const RunEventHandler& events,
                     const RunSettings& settings)
    : plans_(std::move(plans)), context_(context), events_(events), settings_(settings) {
  jobs_.reserve(plans_.size());
  for (const FilePlan& plan : plans_)
    jobs_.push_back(std::make_unique<FileJob>(plan, context_));
}

FolderRun::~FolderRun() = default;

ImageOptimizer::Result FolderRun::handleAll(std::optional<Ending>& ending) {
  const unsigned workers =
      std::max(1u, settings_.jobs == 0 ? std::thread::hardware_concurrency() : settings_.jobs);
  if (workers == 1 || jobs_.size() < 2) {
    handleOneAtATime(ending);
  } else {
    handleInParallel(ending, std::min<unsigned>(workers, static_cast<unsigned>(jobs_.size())));
  }
  if (!totals_.renamedFiles.empty())
    writeDeletionList();
  return totals_;
}

void FolderRun::handleOneAtATime(std::optional<Ending>& ending) {
  for (std::size_t index = 0; index < jobs_.size(); ++index) {
    if (settings_.stop.stop_requested()) {
      totals_.stopped = ImageOptimizer::StopPoint{};
      return;
    }
    start(plans_[index]);
    FileJob& job = *jobs_[index];
    job.prepare();
    if (job.endsRun()) {
      ending = Ending{job.runEndingError(), plans_[index].entry.path};
      return;
    }
    finish(job);
  }
}

void FolderRun::handleInParallel(std::optional<Ending>& ending, unsigned workers) {
  Scheduler scheduler(jobs_, plans_, settings_.stop);
  std::vector<std::jthread> threads;
  for (unsigned worker = 0; worker < workers; ++worker)
    threads.emplace_back([&scheduler] { scheduler.work(); });
  // Whatever way this function is left, no worker may be left waiting for a file that never comes: the
  // threads are joined right after.
  struct CloseOnExit {
    Scheduler& scheduler;
    ~CloseOnExit() { scheduler.close(); }
  } const closeOnExit{scheduler};

  std::size_t head = 0;
  for (; head < jobs_.size(); ++head) {
    if (!scheduler.waitUntilStarted(head))
      break;  // stopped before this file was begun
    start(plans_[head]);
    scheduler.waitUntilPrepared(head);
    if (jobs_[head]->endsRun()) {
      ending = Ending{jobs_[head]->runEndingError(), plans_[head].entry.path};
      break;
    }
    finish(*jobs_[head]);
    scheduler.advance(head + 1);
  }
  scheduler.close();
  threads.clear();  // the files in hand are finished
  if (ending)
    return;  // a one-at-a-time run would not have reached the files after it
  // Stopped: the files that were in hand are placed too, in name order.
  for (std::size_t index = head; index < jobs_.size(); ++index) {
    if (!scheduler.started(index)) {
      totals_.stopped = ImageOptimizer::StopPoint{};
      continue;
    }
    start(plans_[index]);
    if (jobs_[index]->endsRun()) {
      ending = Ending{jobs_[index]->runEndingError(), plans_[index].entry.path};
      return;
    }
    finish(*jobs_[index]);
  }
}

void FolderRun::start(const FilePlan& plan) {
  events_(FileStarted{plan.number, plan.total, plan.entry.name});
}

void FolderRun::finish(FileJob& job) {
  const FileOutcome outcome = job.place();
  totals_.bytesBefore += outcome.bytesBefore;
  totals_.bytesAfter += outcome.bytesAfter;
  switch (outcome.fate) {
    case FileFate::reencoded:
      ++totals_.processed;
      if (job.convertedPng())
        totals_.renamedFiles.push_back(outcome.name);
      break;
    case FileFate::grew:
      ++totals_.grew;
      break;
    case FileFate::small:
      ++totals_.skippedSmall;
      break;
    case FileFate::copied:
    case FileFate::keptOwnName:
    case FileFate::failed:
    case FileFate::keptAnimation:
      break;
  }
  if (outcome.isProblem())
    ++totals_.failed;
  events_(outcome);
}

void FolderRun::writeDeletionList() {
  StepError error = context_.sourceLinks->checkReplaceable(*context_.folder, deletionListName);
  if (!error)
    error = ::writeDeletionList(*context_.folder, totals_.renamedFiles);
  if (error) {
    totals_.deletionListFailed = true;
    events_(DeletionListFailure{error.reason()});
  }
}
