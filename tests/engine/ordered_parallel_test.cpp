// The run's one parallel primitive on its own, with plain tasks: order, the window, memory leases, a stop.
#include "ordered_parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <latch>
#include <memory>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <thread>

namespace {

using Parallel = OrderedParallel<std::shared_ptr<std::size_t>>;
using Next = Parallel::Next;

// What the tasks saw, shared with the workers.
struct Record {
  std::mutex mutex;
  std::vector<std::size_t> started;
  std::vector<std::size_t> consumed;
  std::vector<std::weak_ptr<std::size_t>> prepared;

  std::shared_ptr<std::size_t> prepare(std::size_t index) {
    auto value = std::make_shared<std::size_t>(index);
    const std::lock_guard lock(mutex);
    prepared.push_back(value);
    return value;
  }
  void start(std::size_t index) {
    const std::lock_guard lock(mutex);
    started.push_back(index);
  }
  bool allDestroyed() {
    return std::ranges::all_of(prepared, [](const auto& value) { return value.expired(); });
  }
};

std::vector<std::size_t> upTo(std::size_t count) {
  std::vector<std::size_t> indices(count);
  std::iota(indices.begin(), indices.end(), 0);
  return indices;
}

Parallel::Tasks tasksFor(Record& record, std::function<void(std::size_t, MemoryBudget&)> work = {}) {
  return {.weight = {},
          .prepare =
              [&record, work](std::size_t index, MemoryBudget& memory) {
                record.start(index);
                if (work)
                  work(index, memory);
                return record.prepare(index);
              },
          .consume =
              [&record](std::size_t index, std::shared_ptr<std::size_t>&& value) {
                EXPECT_EQ(*value, index);
                record.consumed.push_back(index);
                return Next::carryOn;
              },
          .finished = {}};
}

}  // namespace

// The oldest item and the two heaviest stall until the other items of the window are done: the one
// free worker goes on with those, heaviest first, never beyond the window, and the results still come in
// order.
TEST(OrderedParallel, StalledItemsHoldNoOneButTheWindowAndOrderHolds) {
  Record record;
  std::latch lightOnesDone(5);
  std::atomic<bool> oldestDone = false;
  std::atomic<bool> startedBeyondTheWindow = false;
  Parallel::Tasks tasks = tasksFor(record, [&](std::size_t index, MemoryBudget&) {
    if (index == 0 || index == 6 || index == 7)
      lightOnesDone.wait();
    else if (index < 6)
      lightOnesDone.count_down();
    else if (!oldestDone)
      startedBeyondTheWindow = true;
    if (index == 0)
      oldestDone = true;
  });
  tasks.weight = [](std::size_t index) { return index; };
  std::vector<std::size_t> finishedCounts;
  tasks.finished = [&](std::size_t done) { finishedCounts.push_back(done); };

  EXPECT_EQ(Parallel(20, {.workers = 4, .lookahead = 8}).run(tasks), 20u);
  EXPECT_EQ(record.consumed, upTo(20));
  EXPECT_FALSE(startedBeyondTheWindow);
  std::vector<std::size_t> byTheFreeWorker;
  std::ranges::copy_if(record.started, std::back_inserter(byTheFreeWorker),
                       [](std::size_t index) { return index >= 1 && index <= 5; });
  EXPECT_EQ(byTheFreeWorker, (std::vector<std::size_t>{5, 4, 3, 2, 1}));
  EXPECT_TRUE(std::ranges::is_sorted(finishedCounts));
  EXPECT_EQ(finishedCounts.back(), 20u);
  EXPECT_TRUE(record.allDestroyed());
}

// A lease that is never given back would hold every later item for good: the run would hang here.
TEST(OrderedParallel, AThrowingItemGivesBackItsMemoryAndItsErrorReachesTheCaller) {
  Record record;
  const Parallel::Tasks tasks = tasksFor(record, [](std::size_t index, MemoryBudget& memory) {
    const MemoryBudget::Lease lease = memory.lease(index == 3 ? 60 : 200);
    if (index == 3)
      throw std::runtime_error("item 3 failed");
  });
  try {
    Parallel(12, {.workers = 4, .memoryCap = 100}).run(tasks);
    ADD_FAILURE() << "item 3's error was lost";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "item 3 failed");
  }
  EXPECT_EQ(record.consumed, upTo(3));
}

TEST(OrderedParallel, ItemsAskingForMoreThanTheCapRunAloneOneAfterAnother) {
  Record record;
  std::mutex mutex;
  int inHand = 0;
  int mostAtOnce = 0;
  const Parallel::Tasks tasks = tasksFor(record, [&](std::size_t, MemoryBudget& memory) {
    const MemoryBudget::Lease lease = memory.lease(150);
    {
      const std::lock_guard lock(mutex);
      mostAtOnce = std::max(mostAtOnce, ++inHand);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // room for another to start, if it could
    const std::lock_guard lock(mutex);
    --inHand;
  });
  EXPECT_EQ(Parallel(8, {.workers = 4, .lookahead = 0, .memoryCap = 100}).run(tasks), 8u);
  EXPECT_EQ(mostAtOnce, 1);
  EXPECT_EQ(record.consumed, upTo(8));
}

// After a stop, the items in hand finish and are consumed up to the first that never started; results
// past an early end are dropped, never consumed.
TEST(OrderedParallel, AStopOrAnEndLeavesAPrefixAndDropsTheRest) {
  std::stop_source stop;
  Record stopped;
  const Parallel::Tasks stopping = tasksFor(stopped, [&](std::size_t index, MemoryBudget&) {
    if (index == 2)
      stop.request_stop();
  });
  const std::size_t count = Parallel(40, {.workers = 4, .stop = stop.get_token()}).run(stopping);
  EXPECT_EQ(stopped.consumed, upTo(count));
  EXPECT_EQ(stopped.started.size(), count);
  EXPECT_LT(count, 40u);

  Record ended;
  Parallel::Tasks ending = tasksFor(ended);
  ending.consume = [&](std::size_t index, std::shared_ptr<std::size_t>&&) {
    ended.consumed.push_back(index);
    return index == 3 ? Next::end : Next::carryOn;
  };
  EXPECT_EQ(Parallel(40, {.workers = 4}).run(ending), 4u);
  EXPECT_EQ(ended.consumed, upTo(4));
  EXPECT_TRUE(ended.allDestroyed());
}
