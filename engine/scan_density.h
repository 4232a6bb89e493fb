#pragma once

#include "engine/density_types.h"
#include "engine/fs.h"

namespace quadrell {

// Decides whether the file is a JPEG file and, if the densities of its JFIF
// header differ, where the smaller one lies. For a positive result, detail
// receives the value to write and the densities as read; for kAccessError,
// the system's reason; otherwise it is left alone. Only the header is read;
// the file is never written, never created, and closed before returning.
ScanResult scan_density(const fs::FileRef& file, ScanDetail& detail);

}  // namespace quadrell
