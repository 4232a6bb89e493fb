#pragma once

#include "engine/density_patch.h"
#include "engine/run_report.h"

namespace quadrell {

// The end of each file's handling, in a run and in an undo alike: its count
// in counts, then its line.
void report_file(RunListener& listener, RunCounts& counts, const FileOutcome& outcome);

// After a patch at position that was not refused: the failures its outcome
// tells (a file no longer as it was scanned as changed, one not written as
// kWrite, dates not put back as kTimes), then the file's line: the position
// for a file written, an access error otherwise; scanned goes with the line
// (see FileOutcome).
void report_patch(RunListener& listener, RunCounts& counts, const NativePath& shown,
                  ScanResult position, const PatchResult& patch, FileFailure::Kind changed,
                  const ScanDetail* scanned = nullptr);

}  // namespace quadrell
