#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <stop_token>
#include <system_error>
#include <thread>
#include <vector>

#include "memory_budget.h"

// N items worked on in parallel, their results taken strictly in order: items 0 .. count-1 are prepared
// on worker threads, and each result is handed to the calling thread (the coordinator) once it and every
// item before it are done. What the coordinator sees is what one worker taking the items one after
// another would give it; only the time differs.
//
// Which thread owns what: the workers run `prepare` and nothing else; the coordinator runs `consume` and
// `finished`, in the thread that called run(); the slots, the window and the counts are shared under
// one mutex. Every worker is joined before run() returns or throws, and results never consumed are
// destroyed then, on the coordinator.
template <class Prepared>
class OrderedParallel {
 public:
  struct Settings {
    unsigned workers = 1;
    // How far ahead of the oldest item not yet consumed another may start. It bounds the results that
    // wait for their turn, while leaving room to start the heaviest first. At least 1: the oldest item
    // itself must be able to start.
    std::size_t lookahead = 32;
    // What the items in hand may lease together (MemoryBudget).
    std::uint64_t memoryCap = std::numeric_limits<std::uint64_t>::max();
    // No item starts once it is requested; the items in hand finish, and consuming ends at the first
    // item that never started.
    std::stop_token stop{};
  };
  enum class Next { carryOn, end };
  struct Tasks {
    // Scheduling only: within the window, the heaviest item starts first.
    std::function<std::uint64_t(std::size_t index)> weight;
    // On a worker. What it throws reaches the coordinator in the item's turn, and is thrown from run().
    std::function<Prepared(std::size_t index, MemoryBudget& memory)> prepare;
    // On the coordinator, in order. `end` consumes nothing more.
    std::function<Next(std::size_t index, Prepared&& prepared)> consume;
    // On the coordinator, whenever more items are done, in any order.
    std::function<void(std::size_t done)> finished;
  };

  OrderedParallel(std::size_t count, Settings settings)
      : settings_(std::move(settings)), memory_(settings_.memoryCap), slots_(count) {}
  OrderedParallel(const OrderedParallel&) = delete;
  OrderedParallel& operator=(const OrderedParallel&) = delete;

  // Returns how many items were consumed, from the first on: all of them unless consuming ended early,
  // by `end` or by a stop.
  std::size_t run(const Tasks& tasks);

 private:
  enum class State { waiting, started, done };
  struct Slot {
    State state = State::waiting;
    std::uint64_t weight = 0;
    std::optional<Prepared> prepared;
    std::exception_ptr error;
  };

  bool mayNotStart() const { return closed_ || settings_.stop.stop_requested(); }
  std::optional<std::size_t> nextToStart();
  void work(const Tasks& tasks);
  void close();
  // Waits for the item at head_; false when it will never start.
  bool waitForHead(std::unique_lock<std::mutex>& lock, const Tasks& tasks, std::size_t& reported);

  const Settings settings_;
  MemoryBudget memory_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;
  std::size_t head_ = 0;  // the oldest item not yet consumed
  std::size_t done_ = 0;  // items done, in any order
  bool closed_ = false;
};

template <class Prepared>
std::size_t OrderedParallel<Prepared>::run(const Tasks& tasks) {
  for (std::size_t index = 0; index < slots_.size(); ++index)
    slots_[index].weight = tasks.weight ? tasks.weight(index) : 0;
  const std::stop_callback wakeOnStop(settings_.stop, [this] {
    const std::lock_guard lock(mutex_);
    changed_.notify_all();
  });
  std::size_t consumed = 0;
  {
    std::vector<std::jthread> workers;
    // Destroyed before `workers`: whatever way this block is left, no worker waits for an item that
    // never comes, and each is joined right after.
    struct CloseOnExit {
      OrderedParallel& parallel;
      ~CloseOnExit() { parallel.close(); }
    } const closeOnExit{*this};
    const unsigned count = static_cast<unsigned>(std::min<std::size_t>(settings_.workers, slots_.size()));
    for (unsigned worker = 0; worker < std::max(1u, count); ++worker) {
      try {
        workers.emplace_back([this, &tasks] { work(tasks); });
      } catch (const std::system_error& error) {
        // Fewer workers only take longer; without any, nothing can be done.
        if (workers.empty())
          throw std::system_error(error.code(), "Could not start a thread for the work");
        break;
      }
    }

    std::size_t reported = 0;
    std::unique_lock lock(mutex_);
    while (head_ < slots_.size() && waitForHead(lock, tasks, reported)) {
      Slot& slot = slots_[head_];
      if (slot.error)
        std::rethrow_exception(slot.error);
      Prepared prepared = std::move(*slot.prepared);
      slot.prepared.reset();
      lock.unlock();
      const Next next = tasks.consume(head_, std::move(prepared));
      lock.lock();
      ++consumed;
      ++head_;
      changed_.notify_all();  // the window has moved on
      if (next == Next::end)
        break;
    }
  }
  slots_.clear();  // results never consumed go now, with every worker joined
  return consumed;
}

template <class Prepared>
bool OrderedParallel<Prepared>::waitForHead(std::unique_lock<std::mutex>& lock, const Tasks& tasks,
                                            std::size_t& reported) {
  for (;;) {
    if (done_ != reported) {
      reported = done_;
      lock.unlock();
      if (tasks.finished)
        tasks.finished(reported);
      lock.lock();
      continue;
    }
    const Slot& slot = slots_[head_];
    if (slot.state == State::done)
      return true;
    if (slot.state == State::waiting && mayNotStart())
      return false;
    changed_.wait(lock);
  }
}

// The oldest item not yet consumed first, so that the coordinator never waits for it; after it the
// heaviest within the window, so that no heavy item is left running alone at the end. One worker gains
// nothing from that: it takes the items in order.
template <class Prepared>
std::optional<std::size_t> OrderedParallel<Prepared>::nextToStart() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (mayNotStart())
      return std::nullopt;
    const std::size_t end = std::min(slots_.size(), head_ + std::max<std::size_t>(settings_.lookahead, 1));
    std::optional<std::size_t> next;
    for (std::size_t index = head_; index < end; ++index) {
      if (slots_[index].state != State::waiting)
        continue;
      if (!next || slots_[index].weight > slots_[*next].weight)
        next = index;
      if (index == head_ || settings_.workers == 1)
        break;
    }
    if (next) {
      slots_[*next].state = State::started;
      return next;
    }
    if (end == slots_.size())
      return std::nullopt;  // every item has started
    changed_.wait(lock);
  }
}

template <class Prepared>
void OrderedParallel<Prepared>::work(const Tasks& tasks) {
  while (const std::optional<std::size_t> index = nextToStart()) {
    std::optional<Prepared> prepared;
    std::exception_ptr error;
    try {
      prepared.emplace(tasks.prepare(*index, memory_));
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      Slot& slot = slots_[*index];
      slot.prepared = std::move(prepared);
      slot.error = error;
      slot.state = State::done;
      ++done_;
    }
    changed_.notify_all();
  }
}

template <class Prepared>
void OrderedParallel<Prepared>::close() {
  {
    const std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}
