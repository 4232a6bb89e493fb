#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/density_types.h"
#include "platform/fs.h"

namespace quadrell {

// How many files a run scans ahead of the one it handles, unless told
// otherwise: enough to keep a disk's, a card's or a network share's queue
// full (see README), few enough that the threads cost nothing to speak of.
inline constexpr int kDefaultReadAhead = 16;

// A scan that takes longer than this has waited on the storage: a file in
// the page cache takes 10 to 20 us. Until two such scans come in a row, the
// run scans its files itself, since handing each file to a worker and back
// costs more than the scan of a cached file.
inline constexpr std::chrono::microseconds kSlowScan{50};

// The scans of the files a run will handle next, made by worker threads in
// any order and handed back in the order the files were queued. The workers
// start once the storage proves slow (see kSlowScan; with slow_scan 0, with
// the first file) and end with the run; until they start, take() scans each
// file itself. Workers only read: they never write, never patch, and open
// no file once stop() is called. At most jobs files are queued at once, so
// memory does not grow with the run; with jobs 1 there are no workers, as
// in a run one file at a time.
class ReadAhead {
 public:
  struct Scan {
    ScanResult result = kNotJpeg;
    ScanDetail detail;
    bool by_worker = false;  // made ahead of time by a worker
  };

  ReadAhead(int jobs, std::chrono::nanoseconds slow_scan);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  bool full() const;
  // Queues a file. Only when not full.
  void queue(fs::FileRef file);
  // The scan of the oldest queued file, which leaves the queue: a worker's,
  // or one made here while the workers wait.
  Scan take();
  // From now on no worker opens another file; the files still queued are
  // not taken.
  void stop();

 private:
  struct Job {
    fs::FileRef file;
    bool taken = false;
    bool done = false;
    Scan scan{};
  };

  void work();
  void wake_workers();

  const std::size_t jobs_;
  const std::chrono::nanoseconds slow_scan_;
  int slow_scans_in_a_row_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable work_;  // a job to take, or stopping
  std::condition_variable done_;  // the oldest job is done
  std::deque<Job> queue_;         // references stay valid while others are added
  bool awake_ = false;            // the workers have started
  bool no_threads_ = false;       // none could be started: take() scans every file
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace quadrell
