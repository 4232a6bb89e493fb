#pragma once

#include <cstdint>

#include "engine/density_types.h"
#include "platform/byte_source.h"
#include "platform/fs.h"

namespace quadrell {

// What a patch did. Nothing is written unless the file still holds, at the
// place the scan read them, the JFIF identifier and the two densities the
// scan decided on; otherwise changed is set, or error says what the system
// refused.
struct PatchOutcome {
  bool written = false;
  bool changed = false;  // the file no longer holds what the scan read
  SystemError error = 0;
  fs::TimesRestored times = fs::TimesRestored::kNotAsked;
  SystemError times_error = 0;
  fs::FileIdentity identity;  // of the file opened for the patch
};

// Writes detail.value at the 1-based position that scan_density returned
// for the same file, and nothing else. With KeepTimes::kYes the file's time
// stamps are read first and set back after a write.
PatchOutcome patch_density(const fs::FileRef& file, ScanResult position, const ScanDetail& detail,
                           KeepTimes keep_times);

// The check and the write on a file already open: the identifier and the
// densities read back, then both bytes written with one call, a short write
// continued, and the first byte put back when the second cannot be written.
// Returns whether anything was written; outcome says how it ended.
bool write_if_unchanged(PatchTarget& file, ScanResult position, const ScanDetail& detail,
                        PatchOutcome& outcome);

}  // namespace quadrell
