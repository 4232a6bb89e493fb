#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/density_types.h"
#include "platform/fs.h"

namespace quadrell {

// How many files a run scans at once ahead of the one it handles, unless
// told a number: as many as the storage serves faster (see DepthProbe).
inline constexpr int kFollowTheStorage = 0;
// Where following the storage starts: a disk's, a card's or a network
// share's queue is seldom shallower (see README).
inline constexpr std::size_t kFirstDepth = 16;
// The most scans in flight, told or followed.
inline constexpr std::size_t kDeepest = 256;
// How many files a depth is measured over, for each scan in flight: enough
// that each worker's files average their waits out.
inline constexpr std::size_t kProbedPerScan = 4;

// How many files the queue holds for each of them: while the oldest file
// waits on the storage read after read, the workers go on with the files
// behind it, and none of them idles for want of a file. A scan's result is
// small; only a queued file's folder may stay open.
inline constexpr int kQueuedPerJob = 8;

// A scan has waited on the storage when one of its reads did (see
// fs::InputFile::waited): a file in the page cache never does, however many
// segments its header holds. After two such scans in a row by one thread,
// or one the run waited for, the storage counts as slow; after
// kFastScansInARow that did not wait, as fast again (where reads are timed,
// a thread preempted twice on a busy machine looks like slow storage for a
// moment).
inline constexpr int kFastScansInARow = 32;

// A file the run will handle: what opens it, the name the log shows,
// whether it was named itself rather than found in a folder, how many files
// the run had patched when it was queued, and where the log shows only
// names, the path of the dropped folder it was found in.
struct QueuedFile {
  fs::FileRef file;
  NativePath shown;
  bool named = false;
  std::uint64_t patches_before = 0;
  std::shared_ptr<const NativePath> tree;
};

// One thread's scans in a row that waited on the storage, or did not: two
// that waited say it is slow, kFastScansInARow that did not say it is fast.
struct ScanStreak {
  enum class Verdict { kNone, kSlow, kFast };
  int slow = 0;
  int fast = 0;
  Verdict count(bool waited) {
    (waited ? fast : slow) = 0;
    if (waited) return ++slow >= 2 ? Verdict::kSlow : Verdict::kNone;
    return ++fast >= kFastScansInARow ? Verdict::kFast : Verdict::kNone;
  }
};

// The depth that follows the storage: while it is slow, each window of
// kProbedPerScan files per scan in flight is measured in files per second;
// while that grows by a tenth or more with each doubling, the depth doubles,
// up to the deepest; once it does not, the depth goes back to the one before
// and stays, until the storage turns fast and slow again (restart()).
class DepthProbe {
 public:
  explicit DepthProbe(std::size_t deepest)
      : deepest_(deepest), depth_(std::min(kFirstDepth, deepest)), before_(depth_) {}
  std::size_t depth() const { return depth_; }
  std::size_t window() const { return depth_ * kProbedPerScan; }
  bool settled() const { return settled_; }
  // A window's rate at depth(); the depth for the next window.
  std::size_t measured(double files_per_second);
  // The storage turned fast: measured anew once it is slow again, from the
  // depth before a doubling no window has borne out yet, so that brief
  // spells of slow reads cannot ratchet the depth up. The depth from now on.
  std::size_t restart() {
    if (!settled_ && last_rate_ > 0) depth_ = before_;
    settled_ = false;
    last_rate_ = 0;
    return depth_;
  }

 private:
  const std::size_t deepest_;
  std::size_t depth_;
  std::size_t before_;  // the depth the last rate was measured at
  double last_rate_ = 0;
  bool settled_ = false;
};

// What a bench learns of the read-ahead, to find where a run loses its time.
// Each event comes on the thread where it happens, with the file's place in
// the run's queue (0 first) and who scanned it (0: the run, n: the nth
// worker); the bench reads the clock itself. Without a trace no event is
// made.
class ReadAheadTrace {
 public:
  enum class Event { kQueued, kScanStart, kScanEnd, kTakeStart, kTaken };
  virtual void at(Event event, std::uint64_t file, int scanned_by) = 0;

 protected:
  ~ReadAheadTrace() = default;
};

// The files a run will handle next, scanned in any order and handed back in
// the order they were queued. At most window() files are queued at once, so
// memory does not grow with the run; with jobs 1 there are no other
// threads, as in a run one file at a time.
//
// While the storage is fast (files in the page cache), one helper per core
// but the run's own scans the files after the oldest, and the run scans
// whatever nobody has taken yet: every core works, and a file changes hands
// through a counter, with no lock and no wake-up while they keep busy. Once
// the storage proves slow (see kFastScansInARow; or from the first file, when
// told so), jobs workers wait on it at once and the run no longer scans ahead,
// so that it is free the moment the oldest file's scan is in; the queue
// holds kQueuedPerJob files for each, so that a file that takes many reads
// holds up no worker. Workers only read: they never write, never patch, and
// open no file once stop() is called.
class ReadAhead {
 public:
  struct Scan {
    ScanResult result = kNotJpeg;
    ScanDetail detail;
    // Made before the files queued ahead of it were handled, by another
    // thread or by the run meanwhile.
    bool ahead = false;
  };
  struct Taken {
    QueuedFile file;
    Scan scan;
  };

  // jobs: the scans in flight on slow storage, or kFollowTheStorage; queue:
  // the files queued at most (0: kQueuedPerJob per scan in flight, 1 with
  // one job); slow: the storage counts as slow from the first file on, for good.
  // trace, when given, hears of each file's steps.
  ReadAhead(int jobs, std::size_t queue, bool slow, ReadAheadTrace* trace = nullptr);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  std::size_t window() const { return window_; }
  bool full() const { return queued_.load(std::memory_order_relaxed) - taken_ >= limit_; }
  bool empty() const { return queued_.load(std::memory_order_relaxed) == taken_; }
  // Queues a file. Only when not full.
  void queue(QueuedFile file);
  // The oldest queued file with its scan; it leaves the queue. Only when not
  // empty. Nothing once stop() was called: the files still queued are not
  // taken, and a worker may have left the oldest unscanned.
  std::optional<Taken> take();
  // From now on no worker opens another file.
  void stop();
  // Calls each for every queued file whose scan is done, in their order;
  // while the storage is fast the run first scans those nobody has taken.
  template <typename Each>
  void visit_scanned(Each each) {
    if (!storage_slow() || workers_.empty()) {
      for (std::uint64_t index = 0; claim(index);) scan(index, true, streak_, 0);
    }
    for (std::uint64_t i = taken_; i < queued_.load(std::memory_order_relaxed); ++i) {
      const Slot& slot = slots_[i % window_];
      if (slot.done.load(std::memory_order_acquire)) each(slot.file, slot.scan);
    }
  }

 private:
  struct Slot {
    QueuedFile file;
    Scan scan;
    std::atomic<bool> done{false};
  };
  // Who a change of state may let go on.
  enum class Wake { kWorker, kRun, kEverybody };

  bool claim(std::uint64_t& index);
  // Scans the file and hands it over; streak counts whether it waited.
  void scan(std::uint64_t index, bool ahead, ScanStreak& streak, int scanned_by);
  void judge(ScanStreak::Verdict verdict);
  // Until the oldest is done, or the run may scan it itself.
  void wait_for(const Slot& oldest);
  void work(bool helper, int number);
  void wake(Wake who);
  // Up to count workers in all.
  void start_workers(std::size_t count);
  // Measures the files taken while the storage is slow and steps the depth.
  void follow_the_storage();
  std::size_t depth() const { return depth_.load(std::memory_order_relaxed); }
  // With one job no thread but the run's, whatever the storage.
  std::size_t all_workers() const { return jobs_ > 1 ? depth() : 0; }
  bool storage_slow() const { return slow_storage_.load(std::memory_order_relaxed); }
  void note(ReadAheadTrace::Event event, std::uint64_t index, int scanned_by) {
    if (trace_ != nullptr) trace_->at(event, index, scanned_by);
  }

  const std::size_t jobs_;     // the workers at most
  const bool follows_;         // the depth is DepthProbe's, the queue 8 files per scan
  const std::size_t window_;   // the ring's slots
  const std::size_t helpers_;  // the threads that scan while the storage is fast
  const bool slow_for_good_;
  ReadAheadTrace* const trace_;
  std::unique_ptr<Slot[]> slots_;  // a ring: file n in slots_[n % window_]
  // The run's own: what it has taken, its scans' streak, the files queued at
  // most now, and the depth's measure.
  std::uint64_t taken_ = 0;
  ScanStreak streak_;
  std::size_t limit_;
  DepthProbe probe_;
  std::size_t probed_ = 0;  // files taken in this window
  std::chrono::steady_clock::time_point window_start_;
  std::atomic<std::size_t> depth_;  // the workers that may scan while the storage is slow
  std::atomic<std::uint64_t> queued_{0};
  std::atomic<std::uint64_t> claimed_{0};  // files before this one are being or were scanned
  std::atomic<bool> slow_storage_;
  std::atomic<bool> stopping_{false};

  // Sleeping: the workers with nothing to claim, those that may not claim,
  // the run waiting for the oldest.
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable benched_;
  std::condition_variable done_;
  std::atomic<int> sleeping_workers_{0};
  std::atomic<int> benched_workers_{0};
  std::atomic<bool> run_waiting_{false};
  bool no_more_threads_ = false;      // a thread could not be started
  std::vector<std::thread> workers_;  // the run's own: it alone starts and counts them
};

}  // namespace quadrell
