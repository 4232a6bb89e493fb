#pragma once

#include <cstdint>

#include "engine/density_types.h"
#include "engine/native_path.h"

namespace quadrell {

// Writes value at the 1-based position that scan_density returned for the
// same file, and nothing else. With KeepTimes::kYes the file's time stamps
// are read first and set back afterwards, also after a failed write; their
// own failures are silent. Returns false when the two bytes could not be
// written; the file then has no other byte changed.
bool patch_density(const NativePath& path, ScanResult position, const PatchValue& value,
                   KeepTimes keep_times);

}  // namespace quadrell
