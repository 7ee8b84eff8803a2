#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Holds back an image until the images in hand leave room for the memory it needs to decode. An image
// is never held back while nothing else is in hand, so every image that is allowed at all gets its turn.
class MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t limit) : limit_(limit) {}

  void acquire(std::uint64_t bytes) {
    std::unique_lock lock(mutex_);
    roomFreed_.wait(lock, [&] { return inUse_ == 0 || inUse_ + bytes <= limit_; });
    inUse_ += bytes;
  }
  void release(std::uint64_t bytes) {
    {
      const std::lock_guard lock(mutex_);
      inUse_ -= bytes;
    }
    roomFreed_.notify_all();
  }

 private:
  const std::uint64_t limit_;
  std::mutex mutex_;
  std::condition_variable roomFreed_;
  std::uint64_t inUse_ = 0;
};
