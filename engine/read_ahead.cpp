#include "engine/read_ahead.h"

#include <algorithm>
#include <system_error>

#include "engine/density_scan.h"
#include "platform/cpu_pause.h"

namespace quadrell {
namespace {

using Clock = std::chrono::steady_clock;
using Event = ReadAheadTrace::Event;

// How long a thread with nothing to do polls before it sleeps: longer than
// a cached file's scan, so that two threads busy on cached files hand each
// other work without a wake-up, short enough to cost nothing to speak of
// when they are not.
constexpr std::chrono::microseconds kPollBeforeSleep{50};

// Polls until ready() holds or kPollBeforeSleep has passed; whether it held.
template <typename Ready>
bool poll(Ready ready) {
  const auto until = Clock::now() + kPollBeforeSleep;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (ready()) return true;
      cpu_pause();
    }
    if (Clock::now() > until) return ready();
  }
}

// A queued file may keep its folder open, and a worker the file it scans.
std::size_t window_for(std::size_t jobs, std::size_t queue) {
  const auto descriptors = static_cast<std::size_t>(fs::read_ahead_allowance());
  if (queue == 0) queue = jobs == 1 ? 1 : jobs * kQueuedPerJob;
  return std::max<std::size_t>(1, std::min(queue, descriptors - jobs));
}

// A run whose queue is fixed (a journal records it at once, and syncs) waits
// on the file system's commits of that journal, which more reads in flight
// do not shorten: its depth stays the first.
std::size_t most_jobs(int jobs, std::size_t queue) {
  const int allowed = fs::read_ahead_allowance() / 2;
  if (jobs == kFollowTheStorage) {
    jobs = static_cast<int>(queue == 0 ? kDeepest : kFirstDepth);
  }
  return static_cast<std::size_t>(std::clamp(jobs, 1, allowed));
}

}  // namespace

std::size_t DepthProbe::measured(double files_per_second) {
  if (settled_) return depth_;
  if (last_rate_ > 0 && files_per_second < last_rate_ * 1.1) {
    depth_ = before_;
    settled_ = true;
    return depth_;
  }
  last_rate_ = files_per_second;
  before_ = depth_;
  depth_ = std::min(depth_ * 2, deepest_);
  settled_ = depth_ == before_;
  return depth_;
}

ReadAhead::ReadAhead(int jobs, std::size_t queue, bool slow, ReadAheadTrace* trace)
    : jobs_(most_jobs(jobs, queue)),
      follows_(jobs == kFollowTheStorage && queue == 0),
      window_(window_for(jobs_, queue)),
      helpers_(
          std::min<std::size_t>(jobs_ - 1, std::max(std::thread::hardware_concurrency(), 1u) - 1)),
      slow_for_good_(slow),
      trace_(trace),
      slots_(new Slot[window_]),
      limit_(window_),
      probe_(jobs_),
      depth_(follows_ ? probe_.depth() : jobs_),
      slow_storage_(slow) {
  if (follows_) limit_ = std::min(window_, depth() * kQueuedPerJob);
}

ReadAhead::~ReadAhead() {
  stop();
  for (std::thread& worker : workers_) worker.join();
}

void ReadAhead::queue(QueuedFile file) {
  const std::uint64_t index = queued_.load(std::memory_order_relaxed);
  Slot& slot = slots_[index % window_];
  slot.file = std::move(file);
  slot.scan = {};
  slot.done.store(false, std::memory_order_relaxed);
  note(Event::kQueued, index, 0);
  queued_.store(index + 1);  // publishes the slot
  wake(Wake::kWorker);
  if (storage_slow()) {
    start_workers(all_workers());
  } else if (index >= 1) {  // two files queued: something to share
    start_workers(helpers_);
  }
}

std::optional<ReadAhead::Taken> ReadAhead::take() {
  note(Event::kTakeStart, taken_, 0);
  Slot& oldest = slots_[taken_ % window_];
  while (!oldest.done.load(std::memory_order_acquire)) {
    if (stopping_.load()) return std::nullopt;
    if (storage_slow()) start_workers(all_workers());
    std::uint64_t unclaimed = taken_;
    // On slow storage the workers scan every file: the run stays free for
    // the oldest's result.
    if ((!storage_slow() || workers_.empty()) &&
        claimed_.compare_exchange_strong(unclaimed, taken_ + 1)) {
      scan(taken_, false, streak_, 0);
    } else if (std::uint64_t later = 0; !storage_slow() && streak_.slow == 0 && claim(later)) {
      // A helper scans the oldest: the run scans a later file meanwhile,
      // unless its last scan waited on the storage, which the next may do
      // too while the oldest is done.
      scan(later, true, streak_, 0);
    } else {
      const bool judged = !storage_slow();
      wait_for(oldest);
      // The run waited for a scan that waited on the storage: what a scan of
      // its own would have said.
      if (judged && oldest.done.load() && oldest.scan.detail.waited) judge(streak_.count(true));
    }
  }
  Taken taken{std::move(oldest.file), std::move(oldest.scan)};
  note(Event::kTaken, taken_, 0);
  ++taken_;
  if (follows_) follow_the_storage();
  return taken;
}

void ReadAhead::follow_the_storage() {
  if (!storage_slow() || workers_.empty()) {
    const std::size_t depth = probe_.restart();
    probed_ = 0;
    // Only the helpers scan meanwhile: nobody to wake.
    if (depth != this->depth()) {
      depth_.store(depth);
      limit_ = std::min(window_, depth * kQueuedPerJob);
    }
    return;
  }
  if (probe_.settled()) return;
  const auto now = Clock::now();
  if (probed_++ == 0) window_start_ = now;
  if (probed_ <= probe_.window()) return;
  const std::chrono::duration<double> took = now - window_start_;
  const std::size_t depth = probe_.measured(static_cast<double>(probed_ - 1) / took.count());
  probed_ = 1;
  window_start_ = now;
  if (depth == this->depth()) return;
  depth_.store(depth);
  limit_ = std::min(window_, depth * kQueuedPerJob);
  start_workers(all_workers());
  wake(Wake::kEverybody);
}

void ReadAhead::stop() {
  stopping_.store(true);
  wake(Wake::kEverybody);
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

void ReadAhead::scan(std::uint64_t index, bool ahead, ScanStreak& streak, int scanned_by) {
  Slot& slot = slots_[index % window_];
  note(Event::kScanStart, index, scanned_by);
  slot.scan.result = scan_density(slot.file.file, slot.scan.detail);
  slot.scan.ahead = ahead;
  const bool waited = slot.scan.detail.waited;
  note(Event::kScanEnd, index, scanned_by);
  slot.done.store(true);
  wake(Wake::kRun);
  judge(streak.count(waited));
}

void ReadAhead::judge(ScanStreak::Verdict verdict) {
  const bool changed =
      (verdict == ScanStreak::Verdict::kSlow && !slow_storage_.exchange(true)) ||
      (verdict == ScanStreak::Verdict::kFast && !slow_for_good_ && slow_storage_.exchange(false));
  // Who may scan, and who waits for whom, has changed: every sleeper looks again.
  if (changed) wake(Wake::kEverybody);
}

void ReadAhead::wait_for(const Slot& oldest) {
  // Done, or left to the run again: nobody took it and the storage is fast.
  const auto ready = [&] {
    return oldest.done.load() || stopping_.load() || (!storage_slow() && claimed_.load() == taken_);
  };
  if (!storage_slow() && poll(ready)) return;
  std::unique_lock lock(mutex_);
  run_waiting_.store(true);
  done_.wait(lock, ready);
  run_waiting_.store(false);
}

// A sleeper counts itself, then tests its condition under the lock; a
// thread that changes the state tests for sleepers after it, and passes
// through the lock before it notifies, so that no wake-up is lost. Every
// worker that waits on work_ may scan: one beyond the helpers while the
// storage is fast, or beyond the depth while it is slow, waits on benched_,
// which only a change of either lets go on.
void ReadAhead::wake(Wake who) {
  const bool workers = who != Wake::kRun && sleeping_workers_.load() > 0;
  const bool benched = who == Wake::kEverybody && benched_workers_.load() > 0;
  const bool run = who != Wake::kWorker && run_waiting_.load();
  if (!workers && !benched && !run) return;
  { const std::lock_guard lock(mutex_); }
  if (workers && who == Wake::kEverybody) {
    work_.notify_all();
  } else if (workers) {
    work_.notify_one();
  }
  if (benched) benched_.notify_all();
  if (run) done_.notify_one();
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
  ScanStreak streak;
  // The workers beyond the helpers scan only while the storage is slow, and
  // those beyond the depth not at all.
  const auto may_claim = [&] {
    return helper || (storage_slow() && static_cast<std::size_t>(number) <= depth());
  };
  // Woken to scan, or benched meanwhile: a worker that may no longer scan
  // leaves work_, whose wake-ups are for those who may.
  const auto ready = [&] {
    return stopping_.load() || !may_claim() || claimed_.load() < queued_.load();
  };
  const auto called = [&] { return stopping_.load() || may_claim(); };
  for (;;) {
    std::uint64_t index = 0;
    if (may_claim() && claim(index)) {
      if (stopping_.load()) return;  // nobody takes what is queued now
      scan(index, true, streak, number);
      continue;
    }
    if (stopping_.load()) return;
    if (helper && !storage_slow() && poll(ready)) continue;
    std::unique_lock lock(mutex_);
    if (!may_claim()) {
      benched_workers_.fetch_add(1);
      benched_.wait(lock, called);
      benched_workers_.fetch_sub(1);
      continue;
    }
    sleeping_workers_.fetch_add(1);
    work_.wait(lock, ready);
    sleeping_workers_.fetch_sub(1);
  }
}

}  // namespace quadrell
