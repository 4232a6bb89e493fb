#include "engine/patch_density.h"

#include "engine/fs.h"

namespace quadrell {

bool patch_density(const NativePath& path, ScanResult position, const PatchValue& value,
                   KeepTimes keep_times) {
  return fs::write_two_bytes(path, std::int64_t{position} - 1, value, keep_times);
}

}  // namespace quadrell
