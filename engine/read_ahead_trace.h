#pragma once

#include <cstdint>

namespace quadrell {

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

}  // namespace quadrell
