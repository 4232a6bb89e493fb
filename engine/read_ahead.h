#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/density_types.h"
#include "engine/read_ahead_trace.h"
#include "platform/fs.h"

namespace quadrell {

// How many files a run scans ahead of the one it handles, unless told
// otherwise: enough to keep a disk's, a card's or a network share's queue
// full (see README), few enough that the threads cost nothing to speak of.
inline constexpr int kDefaultReadAhead = 16;

// A scan that takes longer than this has waited on the storage: a file in
// the page cache takes 3 to 20 us. After two such scans in a row by one
// thread the storage counts as slow; after kFastScansInARow scans that took
// less, as fast again (a thread preempted twice on a busy machine looks like
// slow storage for a moment).
inline constexpr std::chrono::microseconds kSlowScan{50};
inline constexpr int kFastScansInARow = 32;

// The scans of the files a run will handle next, made in any order and
// handed back in the order the files were queued. At most jobs files are
// queued at once, so memory does not grow with the run; with jobs 1 there
// are no other threads, as in a run one file at a time.
//
// While the storage is fast (files in the page cache), one helper per core
// but the run's own scans the files after the oldest, and the run scans
// whatever nobody has taken yet: both cores work, and a file changes hands
// through a counter, with no lock and no wake-up while both keep busy. Once
// the storage proves slow (see kSlowScan; with slow_scan 0, from the first
// file), jobs workers wait on it at once and the run no longer scans ahead,
// so that it is free the moment the oldest file's scan is in. Workers only
// read: they never write, never patch, and open no file once stop() is
// called.
class ReadAhead {
 public:
  struct Scan {
    ScanResult result = kNotJpeg;
    ScanDetail detail;
    // Made before the files queued ahead of it were handled, by another
    // thread or by the run meanwhile.
    bool ahead = false;
  };

  // trace, when given, hears of each file as it is taken.
  ReadAhead(int jobs, std::chrono::nanoseconds slow_scan, ReadAheadTrace* trace = nullptr);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  bool full() const { return queued_.load(std::memory_order_relaxed) - taken_ >= jobs_; }
  // Queues a file. Only when not full.
  void queue(fs::FileRef file);
  // The scan of the oldest queued file, which leaves the queue.
  Scan take();
  // From now on no worker opens another file; the files still queued are
  // not taken.
  void stop();

 private:
  struct Slot {
    fs::FileRef file;
    Scan scan;
    std::atomic<bool> done{false};
    ReadAheadTrace::File trace;
  };

  bool claim(std::uint64_t& index);
  // Scans the file and hands it over; slow: the scan waited on the storage.
  void scan_into(std::uint64_t index, bool ahead, bool& slow, int scanned_by);
  // Until the oldest is done, or the run may scan it itself.
  void wait_for(const Slot& oldest);
  void work(bool helper, int number);
  // Counts a thread's scans in a row that were slow, or fast, and sets
  // whether the storage counts as slow.
  void judge_storage(bool slow, int& slow_in_a_row, int& fast_in_a_row);
  // Up to count workers in all.
  void start_workers(std::size_t count);
  std::size_t all_workers() const { return jobs_ > 1 ? jobs_ : 0; }
  bool storage_slow() const { return slow_storage_.load(std::memory_order_relaxed); }

  const std::size_t jobs_;
  const std::chrono::nanoseconds slow_scan_;
  ReadAheadTrace* const trace_;
  const std::size_t helpers_;      // the threads that scan while the storage is fast
  std::unique_ptr<Slot[]> slots_;  // a ring: file n in slots_[n % jobs_]
  std::uint64_t taken_ = 0;        // the run's own
  int slow_scans_in_a_row_ = 0;    // the run's own
  int fast_scans_in_a_row_ = 0;    // the run's own
  std::atomic<std::uint64_t> queued_{0};
  std::atomic<std::uint64_t> claimed_{0};  // files before this one are being or were scanned
  std::atomic<bool> slow_storage_{false};
  std::atomic<bool> stopping_{false};
  // Sleeping: helpers with nothing to claim, the other workers while the
  // storage is fast or there is nothing to claim, the run waiting for the
  // oldest.
  std::mutex mutex_;
  std::condition_variable helper_work_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::atomic<int> sleeping_helpers_{0};
  std::atomic<int> sleeping_workers_{0};
  std::atomic<bool> run_waiting_{false};
  bool no_more_threads_ = false;  // a thread could not be started
  std::vector<std::thread> workers_;
};

}  // namespace quadrell
