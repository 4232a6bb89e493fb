#include "engine/read_ahead.h"

#include <algorithm>
#include <system_error>

#include "engine/density_scan.h"

namespace quadrell {
namespace {

using Clock = ReadAheadTrace::Clock;

// How long a thread with nothing to do polls before it sleeps: longer than
// a cached file's scan, so that two threads busy on cached files hand each
// other work without a wake-up, short enough to cost nothing to speak of
// when they are not.
constexpr std::chrono::microseconds kPollBeforeSleep{50};

void pause_briefly() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// Polls until ready() holds or kPollBeforeSleep has passed; whether it held.
template <typename Ready>
bool poll(Ready ready) {
  const auto until = Clock::now() + kPollBeforeSleep;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (ready()) return true;
      pause_briefly();
    }
    if (Clock::now() > until) return ready();
  }
}

}  // namespace

ReadAhead::ReadAhead(int jobs, std::chrono::nanoseconds slow_scan, ReadAheadTrace* trace)
    : jobs_(static_cast<std::size_t>(std::clamp(jobs, 1, fs::read_ahead_allowance()))),
      slow_scan_(slow_scan),
      trace_(trace),
      helpers_(
          std::min<std::size_t>(jobs_ - 1, std::max(std::thread::hardware_concurrency(), 1u) - 1)),
      slots_(new Slot[jobs_]),
      slow_storage_(slow_scan.count() <= 0) {}

ReadAhead::~ReadAhead() {
  stop();
  for (std::thread& worker : workers_) worker.join();
}

void ReadAhead::queue(fs::FileRef file) {
  const std::uint64_t index = queued_.load(std::memory_order_relaxed);
  Slot& slot = slots_[index % jobs_];
  slot.file = std::move(file);
  slot.scan = {};
  slot.done.store(false, std::memory_order_relaxed);
  if (trace_ != nullptr) {
    slot.trace = {};
    slot.trace.queued = Clock::now();
  }
  queued_.store(index + 1);  // publishes the slot
  const bool wake_helper = sleeping_helpers_.load() > 0;
  const bool wake_worker = storage_slow() && sleeping_workers_.load() > 0;
  if (wake_helper || wake_worker) {
    { const std::lock_guard lock(mutex_); }
    if (wake_helper) helper_work_.notify_one();
    if (wake_worker) work_.notify_one();
  }
  if (storage_slow()) {
    start_workers(all_workers());
  } else if (index >= 1) {  // two files queued: something to share
    start_workers(helpers_);
  }
}

ReadAhead::Scan ReadAhead::take() {
  const auto take_start = trace_ != nullptr ? Clock::now() : Clock::time_point{};
  Slot& oldest = slots_[taken_ % jobs_];
  while (!oldest.done.load(std::memory_order_acquire)) {
    std::uint64_t unclaimed = taken_;
    bool slow = false;
    // On slow storage the workers scan every file: the run stays free for
    // the oldest's result.
    if ((!storage_slow() || workers_.empty()) &&
        claimed_.compare_exchange_strong(unclaimed, taken_ + 1)) {
      scan_into(taken_, false, slow, 0);
    } else if (std::uint64_t later = 0; !storage_slow() && claim(later)) {
      // A helper scans the oldest: the run scans a later file meanwhile.
      scan_into(later, true, slow, 0);
    } else {
      wait_for(oldest);
      continue;
    }
    judge_storage(slow, slow_scans_in_a_row_, fast_scans_in_a_row_);
  }
  Scan result = std::move(oldest.scan);
  if (trace_ != nullptr) {
    oldest.trace.take_start = take_start;
    oldest.trace.taken = Clock::now();
    trace_->file_taken(oldest.trace);
  }
  ++taken_;
  if (storage_slow()) start_workers(all_workers());
  return result;
}

void ReadAhead::stop() {
  stopping_.store(true);
  { const std::lock_guard lock(mutex_); }
  helper_work_.notify_all();
  work_.notify_all();
}

void ReadAhead::judge_storage(bool slow, int& slow_in_a_row, int& fast_in_a_row) {
  bool changed = false;
  if (slow) {
    fast_in_a_row = 0;
    changed = ++slow_in_a_row >= 2 && !slow_storage_.exchange(true);
  } else {
    slow_in_a_row = 0;
    // slow_scan 0: slow for good.
    changed = ++fast_in_a_row >= kFastScansInARow && slow_scan_.count() > 0 &&
              slow_storage_.exchange(false);
  }
  if (!changed) return;
  // Who may scan, and who waits for whom, has changed: every sleeper looks again.
  { const std::lock_guard lock(mutex_); }
  helper_work_.notify_all();
  work_.notify_all();
  done_.notify_all();
}

bool ReadAhead::claim(std::uint64_t& index) {
  std::uint64_t next = claimed_.load();
  while (next < queued_.load()) {
    if (claimed_.compare_exchange_weak(next, next + 1)) {
      index = next;
      return true;
    }
  }
  return false;
}

void ReadAhead::scan_into(std::uint64_t index, bool ahead, bool& slow, int scanned_by) {
  Slot& slot = slots_[index % jobs_];
  const bool timed = slow_scan_.count() > 0 || trace_ != nullptr;
  const auto start = timed ? Clock::now() : Clock::time_point{};
  slot.scan.result = scan_density(slot.file, slot.scan.detail);
  slot.scan.ahead = ahead;
  const auto end = timed ? Clock::now() : Clock::time_point{};
  slow = slow_scan_.count() > 0 && end - start > slow_scan_;
  if (trace_ != nullptr) {
    slot.trace.scan_start = start;
    slot.trace.scan_end = end;
    slot.trace.scanned_by = scanned_by;
  }
  slot.done.store(true);
  if (run_waiting_.load()) {
    { const std::lock_guard lock(mutex_); }
    done_.notify_one();
  }
}

void ReadAhead::wait_for(const Slot& oldest) {
  // Done, or left to the run again: nobody took it and the storage is fast.
  const auto ready = [&] {
    return oldest.done.load() || (!storage_slow() && claimed_.load() == taken_);
  };
  if (!storage_slow() && poll(ready)) return;
  std::unique_lock lock(mutex_);
  run_waiting_.store(true);
  done_.wait(lock, ready);
  run_waiting_.store(false);
}

void ReadAhead::start_workers(std::size_t count) {
  // Reading ahead only speeds a run up: with fewer threads than asked for,
  // or none (a process or memory limit), the run goes on with what it has.
  while (workers_.size() < count && !no_more_threads_) {
    const bool helper = workers_.size() < helpers_;
    const int number = static_cast<int>(workers_.size()) + 1;
    try {
      workers_.emplace_back(&ReadAhead::work, this, helper, number);
    } catch (const std::system_error&) {
      no_more_threads_ = true;
    }
  }
}

void ReadAhead::work(bool helper, int number) {
  int slow_scans_in_a_row = 0;
  int fast_scans_in_a_row = 0;
  // The workers beyond the helpers scan only while the storage is slow.
  const auto may_claim = [&] { return helper || storage_slow(); };
  const auto ready = [&] {
    return stopping_.load() || (may_claim() && claimed_.load() < queued_.load());
  };
  for (;;) {
    std::uint64_t index = 0;
    if (may_claim() && claim(index)) {
      if (stopping_.load()) return;  // nobody takes what is queued now
      bool slow = false;
      scan_into(index, true, slow, number);
      judge_storage(slow, slow_scans_in_a_row, fast_scans_in_a_row);
      continue;
    }
    if (stopping_.load()) return;
    if (helper && !storage_slow() && poll(ready)) continue;
    std::atomic<int>& sleeping = helper ? sleeping_helpers_ : sleeping_workers_;
    std::unique_lock lock(mutex_);
    sleeping.fetch_add(1);
    (helper ? helper_work_ : work_).wait(lock, ready);
    sleeping.fetch_sub(1);
  }
}

}  // namespace quadrell
