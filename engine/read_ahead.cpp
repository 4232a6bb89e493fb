#include "engine/read_ahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "engine/density_scan.h"

namespace quadrell {
namespace {

// A worker may hold the file it scans open, and a queued file its folder.
std::size_t window_for(std::size_t jobs, std::size_t queue) {
  const auto descriptors = static_cast<std::size_t>(fs::read_ahead_allowance());
  if (queue == 0) queue = jobs == 1 ? 1 : jobs * kQueuedPerJob;
  return std::max<std::size_t>(1, std::min(queue, descriptors - jobs));
}

}  // namespace

ReadAhead::ReadAhead(int jobs, std::size_t queue, ReadAheadSeam seam)
    : jobs_(static_cast<std::size_t>(std::clamp(jobs, 1, fs::read_ahead_allowance() / 2))),
      window_(window_for(jobs_, queue)),
      seam_(std::move(seam)),
      slots_(new Slot[window_]) {}

ReadAhead::~ReadAhead() {
  stop();
  for (std::thread& worker : workers_) worker.join();
}

void ReadAhead::queue(QueuedFile file) {
  Slot& slot = slots_[queued_ % window_];
  slot.file = std::move(file);
  slot.scan = {};
  note(ReadAheadTrace::Event::kQueued, queued_, 0);
  const std::lock_guard lock(mutex_);
  ++queued_;
  if (slow_) work_.notify_one();
}

std::optional<ReadAhead::Taken> ReadAhead::take() {
  note(ReadAheadTrace::Event::kTakeStart, taken_, 0);
  std::unique_lock lock(mutex_);
  Slot& oldest = slots_[taken_ % window_];
  while (!oldest.done && !stopping_) {
    if (claimed_ == taken_ && (!slow_ || workers_.empty())) {
      scan(claimed_++, lock, 0, false);
    } else {
      done_.wait(lock);
    }
  }
  if (!oldest.done) return std::nullopt;
  oldest.done = false;
  Taken taken{std::move(oldest.file), std::move(oldest.scan)};
  ++taken_;
  lock.unlock();
  note(ReadAheadTrace::Event::kTaken, taken_ - 1, 0);
  return taken;
}

void ReadAhead::stop() {
  const std::lock_guard lock(mutex_);
  stopping_ = true;
  work_.notify_all();
  done_.notify_all();
}

void ReadAhead::scan(std::uint64_t index, std::unique_lock<std::mutex>& lock, int scanned_by,
                     bool ahead) {
  Slot& slot = slots_[index % window_];
  lock.unlock();
  note(ReadAheadTrace::Event::kScanStart, index, scanned_by);
  slot.scan.result = scan_density(slot.file.file, slot.scan.detail);
  slot.scan.ahead = ahead;
  const bool waited = seam_.waited ? seam_.waited(slot.file) : slot.scan.detail.waited;
  note(ReadAheadTrace::Event::kScanEnd, index, scanned_by);
  lock.lock();
  slot.done = true;
  judge(waited);
  if (index == taken_) done_.notify_one();
  if (slow_ && !pool_started_) {  // only the run scans until then; workers start unhindered
    lock.unlock();
    start_workers();
    lock.lock();
  }
}

void ReadAhead::judge(bool waited) {
  fast_scans_ = waited ? 0 : std::min(fast_scans_ + 1, kFastScansInARow);
  if (waited && !slow_) {
    slow_ = true;
    work_.notify_all();
  } else if (fast_scans_ == kFastScansInARow && slow_) {
    slow_ = false;
    done_.notify_one();  // the oldest may be the run's to scan now
  }
}

void ReadAhead::work(int number) {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return stopping_ || (slow_ && claimed_ < queued_); });
    if (stopping_) return;
    scan(claimed_++, lock, number, true);
  }
}

void ReadAhead::start_workers() {
  pool_started_ = true;
  if (jobs_ == 1) return;
  // Reading ahead only speeds a run up: with fewer threads than asked for,
  // or none (a process or memory limit), the run goes on with what it has.
  workers_.reserve(jobs_);
  for (std::size_t number = 1; number <= jobs_; ++number) {
    try {
      workers_.emplace_back(&ReadAhead::work, this, static_cast<int>(number));
    } catch (const std::system_error&) {
      return;
    }
  }
}

}  // namespace quadrell
