#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/density_types.h"
#include "platform/fs.h"

namespace quadrell {

// The read-ahead: the files a run will handle next, scanned ahead while the
// storage is slow and handed back in the order they were queued.
//  1. The run alone queues and takes, the oldest first: the log, the counts
//     and every byte written are those of a run one file at a time.
//  2. While the storage is fast, the run scans each file itself as it takes
//     it: reading ahead from the page cache only costs.
//  3. The storage turns slow at the first scan that waited on it
//     (fs::InputFile::waited), fast again after kFastScansInARow that did not.
//  4. The first time it turns slow, jobs workers start, for the rest of the
//     run (with jobs 1, none). While it is slow they claim the queued files in
//     their order and the run waits for the oldest: jobs scans at once.
//  5. One mutex guards the state; workers sleep on work_ for a file to claim,
//     the run on done_ for the oldest. Nobody spins.
//  6. At most window() files are queued. Workers only read, and claim no file
//     once stop() is called.

// Scans at once on slow storage unless told (as the header walk that keeps
// up with a disk, a card or a share), and the most.
inline constexpr int kDefaultJobs = 64;
inline constexpr std::size_t kDeepest = 256;
// Files queued per job: while the oldest takes read after read, the workers
// go on with the files behind it. A queued file holds at most its folder open.
inline constexpr std::size_t kQueuedPerJob = 8;
// Where reads are timed, a thread preempted looks like slow storage for a
// moment: fast again once this many scans in a row did not wait.
inline constexpr int kFastScansInARow = 32;

// A file the run will handle: what opens it, the name the log shows, whether
// it was named itself, the run's patches when it was queued, and where the
// log shows only names, the path of the dropped folder it was found in.
struct QueuedFile {
  fs::FileRef file;
  NativePath shown;
  bool named = false;
  std::uint64_t patches_before = 0;
  std::shared_ptr<const NativePath> tree;
};

// What a bench learns of each file's steps, on the thread where each happens:
// its place in the queue (0 first), who scanned it (0: the run, n: worker n).
class ReadAheadTrace {
 public:
  enum class Event { kQueued, kScanStart, kScanEnd, kTakeStart, kTaken };
  virtual ~ReadAheadTrace() = default;
  virtual void at(Event event, std::uint64_t file, int scanned_by) = 0;
};

// For tests and benches only: whether a file's scan counts as having waited
// on the storage, whatever its reads said; and a trace.
struct ReadAheadSeam {
  std::function<bool(const QueuedFile&)> waited;
  ReadAheadTrace* trace = nullptr;
};

class ReadAhead {
 public:
  struct Scan {
    ScanResult result = kNotJpeg;
    ScanDetail detail;
    // Made before the files queued ahead of it were handled.
    bool ahead = false;
  };
  struct Taken {
    QueuedFile file;
    Scan scan;
  };

  // queue: the files queued at most (0: kQueuedPerJob per job, 1 with one).
  ReadAhead(int jobs, std::size_t queue, ReadAheadSeam seam = {});
  ~ReadAhead();

  std::size_t window() const { return window_; }
  bool full() const { return queued_ - taken_ >= window_; }
  bool empty() const { return queued_ == taken_; }
  void queue(QueuedFile file);  // only when not full
  // The oldest file with its scan; only when not empty. Nothing once stop()
  // was called: the files still queued are not taken.
  std::optional<Taken> take();
  void stop();
  // Calls each for every queued file whose scan is done, in their order;
  // while the storage is fast the run first scans them all.
  template <typename Each>
  void visit_scanned(Each each) {
    std::vector<std::uint64_t> done;
    {
      std::unique_lock lock(mutex_);
      while ((!slow_ || workers_.empty()) && claimed_ < queued_) scan(claimed_++, lock, 0, true);
      for (std::uint64_t i = taken_; i < queued_; ++i) {
        if (slots_[i % window_].done) done.push_back(i);
      }
    }
    for (const std::uint64_t i : done) each(slots_[i % window_].file, slots_[i % window_].scan);
  }

 private:
  struct Slot : Taken {
    bool done = false;
  };

  // Scans file index without the lock; scanned_by as in the trace.
  void scan(std::uint64_t index, std::unique_lock<std::mutex>& lock, int scanned_by, bool ahead);
  void judge(bool waited);
  void work(int number);
  void start_workers();
  void note(ReadAheadTrace::Event event, std::uint64_t index, int scanned_by) {
    if (seam_.trace != nullptr) seam_.trace->at(event, index, scanned_by);
  }

  const std::size_t jobs_;
  const std::size_t window_;
  const ReadAheadSeam seam_;
  std::unique_ptr<Slot[]> slots_;  // a ring: file n in slots_[n % window_]

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  // Written under mutex_; the run reads its own (queued_, taken_) freely.
  std::uint64_t queued_ = 0;
  std::uint64_t taken_ = 0;
  std::uint64_t claimed_ = 0;  // the files before it are being or were scanned
  int fast_scans_ = 0;         // scans in a row that did not wait, up to kFastScansInARow
  bool slow_ = false;
  bool stopping_ = false;
  bool pool_started_ = false;         // the run's own
  std::vector<std::thread> workers_;  // the run's own
};

}  // namespace quadrell
