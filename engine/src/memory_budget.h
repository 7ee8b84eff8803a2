#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

// The memory that the items in hand may take together, by their estimates. An item waits until the
// others leave room for it, but never while nothing else is held: one that asks for more than the cap
// still gets its turn, alone.
class MemoryBudget {
 public:
  // What one item holds. It comes back when the lease ends, on every path, exceptions included: a lost
  // lease would hold back every later item for good.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept
        : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}
    Lease& operator=(Lease&& other) noexcept {
      if (this != &other) {
        giveBack();
        budget_ = std::exchange(other.budget_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
      }
      return *this;
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { giveBack(); }

   private:
    friend class MemoryBudget;
    Lease(MemoryBudget& budget, std::uint64_t bytes) : budget_(&budget), bytes_(bytes) {}
    void giveBack() {
      if (budget_ != nullptr)
        budget_->giveBack(bytes_);
      budget_ = nullptr;
      bytes_ = 0;
    }

    MemoryBudget* budget_ = nullptr;
    std::uint64_t bytes_ = 0;
  };

  explicit MemoryBudget(std::uint64_t cap) : cap_(cap) {}
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // Waits until `bytes` fit beside what the others hold.
  Lease lease(std::uint64_t bytes) {
    std::unique_lock lock(mutex_);
    roomFreed_.wait(lock, [&] { return inUse_ == 0 || inUse_ + bytes <= cap_; });
    inUse_ += bytes;
    return Lease(*this, bytes);
  }

 private:
  void giveBack(std::uint64_t bytes) {
    {
      const std::lock_guard lock(mutex_);
      inUse_ -= bytes;
    }
    roomFreed_.notify_all();
  }

  const std::uint64_t cap_;
  std::mutex mutex_;
  std::condition_variable roomFreed_;
  std::uint64_t inUse_ = 0;
};

// What the images in hand may need together, by their estimates, on a machine (or in a cgroup) with
// `machine` bytes: an eighth of it, less what a run holds beside its images, so that a run takes about
// an eighth of the machine at the most, at any number of jobs. Never less than two of the heaviest
// photos measured need at once (bench/README.md), so that two jobs go on side by side on any machine;
// and one image alone may always take what it needs.
constexpr std::uint64_t memoryForImages(std::uint64_t machine) {
  constexpr std::uint64_t mebibyte = 1 << 20;
  constexpr std::uint64_t runBesideImages = 40 * mebibyte;  // libvips started, the plan, the workers
  constexpr std::uint64_t twoHeavyPhotos = 208 * mebibyte;
  const std::uint64_t eighth = machine / 8;
  return std::max(twoHeavyPhotos, eighth > runBesideImages ? eighth - runBesideImages : 0);
}
