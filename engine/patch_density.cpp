#include "engine/patch_density.h"

#include <optional>

#include "engine/fs.h"

namespace quadrell {

bool patch_density(const NativePath& path, ScanResult position, const PatchValue& value,
                   KeepTimes keep_times) {
  std::optional<fs::SavedTimes> saved;
  if (keep_times == KeepTimes::kYes) saved = fs::read_file_times(path);
  const bool written = fs::write_two_bytes(path, std::int64_t{position} - 1, value);
  if (saved) fs::restore_file_times(path, *saved);
  return written;
}

}  // namespace quadrell
