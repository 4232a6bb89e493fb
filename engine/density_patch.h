#pragma once

#include <cstdint>
#include <functional>

#include "engine/density_types.h"
#include "engine/run_report.h"
#include "platform/byte_source.h"
#include "platform/fs.h"

namespace quadrell {

// What a patch did. Nothing is written unless the file still holds, at the
// place the scan read them, the JFIF identifier and the two densities the
// scan decided on, and the change is approved; otherwise changed or refused
// is set, or error says what the system refused.
struct PatchOutcome {
  bool written = false;
  bool changed = false;  // the file no longer holds what the scan read
  bool refused = false;  // approve did not allow the change
  SystemError error = 0;
  fs::TimesRestored times = fs::TimesRestored::kNotAsked;
  SystemError times_error = 0;
  fs::FileIdentity identity;  // of the file opened for the patch
  DensityChange change;       // what is written, once the file is open
  bool left_known = false;    // after a write: the times the file was left with
  fs::FileTimes left;
};

// Writes detail.value at the 1-based position that scan_density returned
// for the same file, and nothing else. With KeepTimes::kYes the file's time
// stamps are read first and set back after a write; with put_back, those
// times are set instead. approve, when given, is asked right before the
// write, with what is to be written.
// With TimesLeft::kRead, or put_back, the times a write leaves the file
// with are read back into the outcome.
enum class TimesLeft { kUnread, kRead };
using Approval = std::function<bool(const DensityChange& change)>;
PatchOutcome patch_density(const fs::FileRef& file, ScanResult position, const ScanDetail& detail,
                           KeepTimes keep_times, const Approval& approve = {},
                           const fs::FileTimes* put_back = nullptr,
                           TimesLeft times_left = TimesLeft::kUnread);

// The end of a patch on target, open for it: the file closed, with its times
// set back if touched, and what became of them in outcome.
void close_patch(fs::PatchFile& target, bool touched, PatchOutcome& outcome);

// The change a scan decided on, for the file it scanned.
DensityChange planned_change(ScanResult position, const ScanDetail& detail);

// The check and the write on a file already open: the identifier and the
// densities read back, then both bytes written with one call, a short write
// continued, and the first byte put back when the second cannot be written.
// approve, when given, is asked once the check has passed. Returns whether
// anything was written; outcome says how it ended.
bool write_if_unchanged(PatchTarget& file, ScanResult position, const ScanDetail& detail,
                        PatchOutcome& outcome, const std::function<bool()>& approve = {});

}  // namespace quadrell
