#pragma once

#include <cstdint>
#include <functional>

#include "engine/density_types.h"
#include "platform/fs.h"
#include "platform/native_path.h"

namespace quadrell {

// The counts of one drop; total = fair + update + error after every path.
struct RunCounts {
  std::int32_t total = 0;
  std::int32_t fair = 0;
  std::int32_t update = 0;
  std::int32_t error = 0;
};

// A failure of a run, beyond its line in the log: what failed, where, and the
// system's reason.
struct FileFailure {
  enum class Kind {
    kRead,           // the file could not be opened or read
    kWrite,          // it could not be opened for writing or written
    kChanged,        // another program changed it between the scan and the write
    kList,           // a folder could not be listed to its end
    kTimes,          // the file was patched, but its dates could not be put back
    kNamesNothing,   // a path typed names no file or folder (error 0: nothing of either kind)
    kPassedOver,     // a file named itself is not a JPEG file: no failure, a notice
    kNotJpegName,    // a file named itself is not named .jpg or .jpeg: a notice too
    kNotAsRecorded,  // a change taken back: the file is not as its record left it
    kDatesUnknown,   // its bytes went back, but an undo stopped before its dates
  };
  Kind kind;
  NativePath path;  // the file or folder as the run shows it
  SystemError error = 0;
};

// The two bytes a patch writes, with what identifies the file and its state
// before: position is the 1-based place of the first byte (the line's first
// number), in the X density or the Y; identity, size and times are the
// file's as the patch opened it, before it wrote.
struct DensityChange {
  ScanResult position = 0;
  bool at_x = false;
  PatchValue before{};
  PatchValue after{};
  fs::FileIdentity identity;
  std::int64_t size = 0;
  fs::FileTimes times;
  bool operator==(const DensityChange&) const = default;
};

// The changes that the scans made so far foresee for the files queued
// behind the one in hand, in their order, by their paths (see
// ChangeRecord::may_change); any may yet come out otherwise, or not at all.
class ChangesAhead {
 public:
  using Visit = std::function<void(const NativePath& path, const DensityChange& change)>;
  virtual void visit(const Visit& each) = 0;

 protected:
  ~ChangesAhead() = default;
};

// One JPEG file's outcome: its name in the log and its result (kFair, the
// position changed, kAccessError); change, for a file written, what was
// written (none in a dry run), and left, the times the file was left with
// when they could be read back; scanned, in a run's scan and patch, the
// header as the scan read it (its units and densities).
struct FileOutcome {
  const NativePath& shown;
  ScanResult result;
  const DensityChange* change = nullptr;
  const fs::FileTimes* left = nullptr;
  const ScanDetail* scanned = nullptr;
};

// What a run tells its front end, in the order it happens, on the run's
// thread. Each front end makes its own text of it.
class RunListener {
 public:
  // Before each file the run takes up: the moment to draw what came so far.
  virtual void next_file() {}
  virtual void file_done(const FileOutcome& outcome, const RunCounts& counts) = 0;
  virtual void failed(const FileFailure&) {}
  // As a folder's listing begins, by its name as the run shows it.
  virtual void listing_folder(const NativePath&, const RunCounts&) {}
  // Asked before each file and folder: true ends the run there, as a stop
  // does (the listener can take no more).
  virtual bool stopped() const { return false; }
  // After the last file: the counts of the whole run.
  virtual void run_ended(const RunCounts&) {}

 protected:
  ~RunListener() = default;
};

// What a run tells the record of its changes (a journal), each before its
// listener hears of the file.
class ChangeRecord {
 public:
  // Right before the bytes are written: false leaves the file as it is, with
  // no line, and ends the run there. path is the file's as the run was
  // given it (a dropped folder's path joined with the name), whatever the
  // log shows. ahead lets the record take those to come at once.
  virtual bool may_change(const NativePath& path, const DensityChange& change,
                          ChangesAhead& ahead) = 0;
  // After each patch not refused, whether it came to ask or failed before:
  // written, the change written (none: not written); left, the times it
  // left the file with, when read back.
  virtual void change_done(const DensityChange* written, const fs::FileTimes* left) = 0;
  // After the last file of a run.
  virtual void run_done() = 0;

 protected:
  ~ChangeRecord() = default;
};

}  // namespace quadrell
