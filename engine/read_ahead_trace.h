#pragma once

#include <chrono>

namespace quadrell {

// What a bench learns of each file the read-ahead hands back, to find where
// a run loses its time: when the file was queued, when and by whom it was
// scanned, and how long the run waited for it. Without a trace no clock is
// read for it.
class ReadAheadTrace {
 public:
  using Clock = std::chrono::steady_clock;
  struct File {
    Clock::time_point queued;
    Clock::time_point scan_start;
    Clock::time_point scan_end;
    Clock::time_point take_start;  // when the run asked for it
    Clock::time_point taken;
    int scanned_by = 0;  // 0: the run, n: the nth worker
  };

  // Called on the run's thread, in the order the files were queued.
  virtual void file_taken(const File& file) = 0;

 protected:
  ~ReadAheadTrace() = default;
};

}  // namespace quadrell
