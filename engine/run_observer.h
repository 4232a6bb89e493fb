#pragma once

#include "engine/density_types.h"
#include "engine/run_counts.h"
#include "platform/native_path.h"

namespace quadrell {

// A failure of a run, beyond its line in the log: what failed, where, and the
// system's reason.
struct FileFailure {
  enum class Kind {
    kRead,          // the file could not be opened or read
    kWrite,         // it could not be opened for writing or written
    kChanged,       // another program changed it between the scan and the write
    kList,          // a folder could not be listed to its end
    kTimes,         // the file was patched, but its dates could not be put back
    kNamesNothing,  // a path typed names no file or folder (error 0: nothing of either kind)
    kPassedOver,    // a file named itself is not a JPEG file: no failure, a notice
    kNotJpegName,   // a file named itself is not named .jpg or .jpeg: a notice too
  };
  Kind kind;
  NativePath path;  // the file or folder as the run shows it
  SystemError error = 0;
};

// What the command line asks of a run besides the log: every failure with
// its reason, a way to stop before another file is touched, and its
// progress. The window has none: its log is its only report.
class RunObserver {
 public:
  virtual void report_failure(const FileFailure& failure) = 0;
  // Asked before each file: true ends the run there.
  virtual bool run_stopped() const = 0;
  // After each file's line and as each folder is listed: the counts so far
  // and the folder being read, as the run shows it.
  virtual void run_progress(const RunCounts& counts, const NativePath& folder) = 0;

 protected:
  ~RunObserver() = default;
};

}  // namespace quadrell
