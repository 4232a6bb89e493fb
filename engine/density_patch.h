#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/density_types.h"
#include "engine/run_report.h"
#include "platform/byte_source.h"
#include "platform/fs.h"

namespace quadrell {

// What a patch did. Nothing is written unless the file still holds, at the
// place the scan read them, the JFIF identifier and the two densities the
// scan decided on, and the change is approved.
enum class PatchOutcome {
  kWritten,          // and the times put back where they were asked for
  kTimesNotPutBack,  // written, but the times asked for are not back: error says why
  kChanged,          // the file no longer holds what the scan read
  kRefused,          // approve did not allow the change
  kFailed,           // the system refused the opening, the check, the write or the close
};
inline bool written(PatchOutcome outcome) {
  return outcome == PatchOutcome::kWritten || outcome == PatchOutcome::kTimesNotPutBack;
}

struct PatchResult {
  PatchOutcome outcome = PatchOutcome::kFailed;
  SystemError error = 0;
  fs::FileIdentity identity;          // of the file opened for the patch
  DensityChange change;               // what is written, once the file is open
  std::optional<fs::FileTimes> left;  // after a write: the times it left, where read back
};

// Whether the times a write leaves the file with are read back, for a
// journal to record.
enum class TimesLeft { kUnread, kRead };

// What happens to a file's times after a write: with keep, those read
// before it are set back; with put_back (an undo), these are, and read
// back to check that the file system holds them; written is told the
// last-write time the write itself left, before any time is set.
struct TimesPolicy {
  KeepTimes keep = KeepTimes::kNo;
  TimesLeft left = TimesLeft::kUnread;
  const fs::FileTimes* put_back = nullptr;
  std::function<void(const fs::FileTime&)> written;
};

// Writes detail.value at the 1-based position that scan_density returned
// for the same file, and nothing else, then puts its times back as
// keep_times and times_left say (see TimesPolicy). approve, when given, is
// asked right before the write, with what is to be written.
using Approval = std::function<bool(const DensityChange& change)>;
PatchResult patch_density(const fs::FileRef& file, ScanResult position, const ScanDetail& detail,
                          KeepTimes keep_times, const Approval& approve = {},
                          TimesLeft times_left = TimesLeft::kUnread);

// The end of a patch on target, open for it: the times set back as policy
// says if the file was touched, the file closed, and what became of both in
// result, when it was written.
void close_patch(fs::PatchFile& target, bool touched, const TimesPolicy& policy,
                 PatchResult& result);

// The change a scan decided on, for the file it scanned.
DensityChange planned_change(ScanResult position, const ScanDetail& detail);

// Whether the file still holds, where the scan read them, the JFIF
// identifier and the densities it decided on (false when it ends first).
Result<bool> unchanged(ByteSource& file, ScanResult position, const ScanDetail& detail);

// The check and the write on a file already open: the identifier and the
// densities read back, then both bytes written with one call, a short write
// continued, and the first byte put back when the second cannot be written.
// approve, when given, is asked once the check has passed. Returns whether
// anything was written; result says how it ended.
bool write_if_unchanged(PatchTarget& file, ScanResult position, const ScanDetail& detail,
                        PatchResult& result, const std::function<bool()>& approve = {});

}  // namespace quadrell
