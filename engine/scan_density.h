#pragma once

#include "engine/density_types.h"
#include "engine/native_path.h"

namespace quadrell {

// Decides whether the file at path is a JPEG file and, if its JFIF densities
// differ, where the smaller one lies. For a positive result, value receives
// the larger density's two bytes; otherwise value is left alone. The file is
// read once, never written, never created, and closed before returning.
ScanResult scan_density(const NativePath& path, PatchValue& value);

}  // namespace quadrell
