#include "engine/read_ahead.h"

#include <algorithm>
#include <system_error>

#include "engine/density_scan.h"

namespace quadrell {
namespace {

ReadAhead::Scan scan(const fs::FileRef& file) {
  ReadAhead::Scan result;
  result.result = scan_density(file, result.detail);
  return result;
}

}  // namespace

ReadAhead::ReadAhead(int jobs, std::chrono::nanoseconds slow_scan)
    : jobs_(static_cast<std::size_t>(std::clamp(jobs, 1, fs::read_ahead_allowance()))),
      slow_scan_(slow_scan) {}

ReadAhead::~ReadAhead() {
  stop();
  for (std::thread& worker : workers_) worker.join();
}

bool ReadAhead::full() const {
  const std::lock_guard lock(mutex_);
  return queue_.size() >= jobs_;
}

void ReadAhead::queue(fs::FileRef file) {
  bool awake;
  {
    const std::lock_guard lock(mutex_);
    queue_.push_back({std::move(file)});
    awake = awake_;
  }
  if (awake) {
    work_.notify_one();
  } else if (slow_scan_.count() <= 0) {
    wake_workers();
  }
}

ReadAhead::Scan ReadAhead::take() {
  std::unique_lock lock(mutex_);
  Job& oldest = queue_.front();
  if (!awake_) {  // no worker has started: none has taken it
    oldest.taken = true;
    lock.unlock();
    const auto start = std::chrono::steady_clock::now();
    oldest.scan = scan(oldest.file);
    const bool slow = std::chrono::steady_clock::now() - start > slow_scan_;
    slow_scans_in_a_row_ = slow ? slow_scans_in_a_row_ + 1 : 0;
    if (slow_scans_in_a_row_ >= 2) wake_workers();
    lock.lock();
  } else {
    done_.wait(lock, [&] { return oldest.done; });
  }
  Scan result = std::move(oldest.scan);
  queue_.pop_front();
  return result;
}

void ReadAhead::wake_workers() {
  if (jobs_ == 1 || !workers_.empty() || no_threads_) return;
  {
    const std::lock_guard lock(mutex_);
    awake_ = true;
  }
  // Reading ahead only speeds a run up: with fewer threads than asked for,
  // or none (a process or memory limit), the run goes on with what it has.
  try {
    for (std::size_t i = 0; i < jobs_; ++i) workers_.emplace_back(&ReadAhead::work, this);
  } catch (const std::system_error&) {
    if (workers_.empty()) {
      const std::lock_guard lock(mutex_);
      awake_ = false;
      no_threads_ = true;
    }
  }
}

void ReadAhead::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
}

void ReadAhead::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    auto next = queue_.end();
    work_.wait(lock, [&] {
      next = std::find_if(queue_.begin(), queue_.end(), [](const Job& job) { return !job.taken; });
      return stopping_ || (awake_ && next != queue_.end());
    });
    if (stopping_) return;
    Job& job = *next;
    job.taken = true;
    lock.unlock();
    Scan result = scan(job.file);
    result.by_worker = true;
    lock.lock();
    job.scan = std::move(result);
    job.done = true;
    if (&job == &queue_.front()) done_.notify_one();
  }
}

}  // namespace quadrell
