#pragma once

#include <atomic>

namespace quadrell {

// A request that a run stop, from any thread or from a signal handler: the
// run finishes the file in hand (its patch, its dates, its line), opens no
// other file and ends with its summary line.
class RunStop {
 public:
  void request() noexcept { requested_.store(true, std::memory_order_relaxed); }
  bool requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

 private:
  // Lock-free, so that a signal handler may set it.
  static_assert(std::atomic<bool>::is_always_lock_free);
  std::atomic<bool> requested_{false};
};

}  // namespace quadrell
