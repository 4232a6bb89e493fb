#pragma once

#include <chrono>
#include <vector>

#include "engine/name_pattern.h"
#include "engine/read_ahead.h"
#include "engine/run_report.h"
#include "engine/run_stop.h"
#include "platform/native_path.h"

namespace quadrell {

// kDryRun scans and reports as a real run does and writes nothing: no file
// is opened for writing, so a read-only file or medium shows what a real
// run would change.
enum class WriteMode { kWrite, kDryRun };

// How the paths of a run are taken. kDropped, as the window takes a drop: a
// file shows by its name, a folder's files by their path relative to it, and
// a hidden file or folder names nothing. kTyped, as a command line takes its
// arguments: a file shows as typed, a folder's files as the folder typed
// joined with their names ("." adds nothing), a hidden file or folder named
// is taken.
enum class PathForm { kDropped, kTyped };

// Every choice of a run, read once as it starts.
struct RunOptions {
  WriteMode mode = WriteMode::kWrite;
  // Each patched file gets its time stamps back.
  bool keep_dates = false;
  // Subfolders too, to any depth: hidden ones and links to folders are not
  // entered. Their files show by their path relative to the dropped folder.
  bool recursive = false;
  PathForm form = PathForm::kDropped;
  // Inside the folders a run lists: a file or folder whose name an exclude
  // matches is passed over (a folder not entered), and a file whose name an
  // include matches is taken beside .jpg and .jpeg ones (an include also
  // takes a file named itself); the header still decides which is a JPEG
  // file.
  NamePatterns names{};
  // Checked before each file and each folder; the run ends once requested.
  const RunStop* stop = nullptr;
  // How many files are scanned at once ahead of the one handled on slow
  // storage (1: none). The log, the counts and every byte written are those
  // of a run one file at a time.
  int read_ahead = kDefaultJobs;
  // How many files may wait in the read-ahead's queue (0: kQueuedPerJob for
  // each scan in flight, none but the one in hand with 1). A listener that
  // records changes before they are made records a queue's worth at once.
  std::size_t queue = 0;
  // Where each change is recorded before it is made (none: nowhere); the
  // times a change leaves its file with are read back for it.
  ChangeRecord* record = nullptr;
};

// Handles the paths in turn, as one run (the read-ahead goes on from one
// path to the next): for each, the file itself, or the plain files directly
// inside the folder. Every file whose name ends in ".jpg" or ".jpeg" (any
// case), or that options.names takes, is scanned and, where its densities
// differ, patched; every JPEG file among them gets one line in the log,
// counted in total and in one of fair, update or error. A folder that
// cannot be listed to its end gets an access-error line under its own name.
// The listener hears of each as it happens, and of every failure.
// seam: for tests and benches (see ReadAheadSeam).
void process_paths(RunListener& listener, const std::vector<NativePath>& paths, RunCounts& counts,
                   const RunOptions& options = {}, const ReadAheadSeam& seam = {});

// One drop as one run: every path processed in the order given, then the
// end of the run: told to the record, then to the listener with its counts.
RunCounts drop_run(RunListener& listener, const std::vector<NativePath>& paths,
                   const RunOptions& options = {});

// Whether the lower-cased name ends in ".jpg" or ".jpeg".
bool is_jpeg_name(const NativePath& name);

}  // namespace quadrell
